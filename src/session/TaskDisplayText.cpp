#include "session/TaskDisplayText.h"

#include "platform/WebUrl.h"
#include "session/LinkDetector.h"
#include "session/LinkPattern.h"

namespace {

// The scope carries the bidirectional controls of what is shown before the segment.
void appendPlainSegment(TaskDisplayText& result, QStringView segment, BidiScope& scope)
{
    const qsizetype offset = result.text.size();
    for (LinkRange link : LinkDetector::detect(segment, scope)) {
        link.start += offset;
        result.links.append(link);
    }
    result.text.append(segment);
}

} // namespace

TaskDisplayText buildDisplayText(QStringView title)
{
    TaskDisplayText result;
    BidiScope scope;
    qsizetype cursor = 0;
    for (const LinkPattern::Match& match : LinkPattern::findAll(title)) {
        if (cursor < match.start)
            appendPlainSegment(result, title.sliced(cursor, match.start - cursor), scope);
        const QStringView label = match.label(title);
        scope.feed(label);
        if (const std::optional<QUrl> url = webURLFromText(match.urlText(title)))
            result.links.append(LinkRange {result.text.size(), label.size(), *url});
        result.text.append(label);
        cursor = match.end();
    }
    if (cursor < title.size())
        appendPlainSegment(result, title.sliced(cursor), scope);
    return result;
}

TaskDisplayText buildPlainSegment(QStringView segment)
{
    TaskDisplayText result;
    BidiScope scope;
    appendPlainSegment(result, segment, scope);
    return result;
}
