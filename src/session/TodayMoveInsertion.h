#pragma once

// Where a task moved into the working list lands.
enum class TodayMoveInsertion { top, bottom };
