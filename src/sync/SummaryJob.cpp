#include "sync/SummaryJob.h"

#include "session/TextSummary.h"

void SummaryJob::run()
{
    summaries = {TextSummary::ofList(content.itemsByID, content.workingItemIDs),
        TextSummary::ofList(content.itemsByID, content.inboxItemIDs),
        TextSummary::ofList(content.itemsByID, content.completedItemIDs)};
}
