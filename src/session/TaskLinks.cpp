#include "session/TaskLinks.h"

#include "platform/WebUrl.h"
#include "session/LinkDetector.h"
#include "session/LinkPattern.h"

#include <limits>

std::optional<QUrl> firstLinkURL(QStringView text)
{
    std::optional<QUrl> result;
    qsizetype bestPosition = std::numeric_limits<qsizetype>::max();
    if (const auto markup = LinkPattern::findFirst(text)) {
        if (const auto url = webURLFromText(markup->urlText(text))) {
            result = url;
            bestPosition = markup->start;
        }
    }
    // Detected links come in order, so only the first can be earlier.
    if (const auto bare = LinkDetector::findFirst(text); bare && bare->start < bestPosition)
        result = bare->url;
    return result;
}
