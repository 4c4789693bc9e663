#pragma once

// The animation an item is in while it stays in its list.
enum class TaskAnimationState { completionPreview };
