#include "TaskDisplayText.h"

#include "LinkDetector.h"
#include "LinkPattern.h"
#include "WebUrl.h"

namespace {

void appendPlainSegment(TaskDisplayText& result, QStringView segment)
{
    const qsizetype offset = result.text.size();
    for (LinkRange link : LinkDetector::detect(segment)) {
        link.start += offset;
        result.links.append(link);
    }
    result.text.append(segment);
}

} // namespace

TaskDisplayText buildDisplayText(QStringView title)
{
    TaskDisplayText result;
    qsizetype cursor = 0;
    for (const LinkPattern::Match& match : LinkPattern::findAll(title)) {
        if (cursor < match.start)
            appendPlainSegment(result, title.sliced(cursor, match.start - cursor));
        const QStringView label = match.label(title);
        if (const std::optional<QUrl> url = webURLFromText(match.urlText(title)))
            result.links.append(LinkRange {result.text.size(), label.size(), *url});
        result.text.append(label);
        cursor = match.end();
    }
    if (cursor < title.size())
        appendPlainSegment(result, title.sliced(cursor));
    return result;
}

TaskDisplayText buildPlainSegment(QStringView segment)
{
    TaskDisplayText result;
    appendPlainSegment(result, segment);
    return result;
}
