#include "sync/SummaryJob.h"

#include "session/TextSummary.h"

void SummaryJob::run()
{
    summaries = TextSummary::ofLists(
        content.itemsByID, content.workingItemIDs, content.inboxItemIDs, content.completedItemIDs);
}
