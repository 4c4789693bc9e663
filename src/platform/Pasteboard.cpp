#include "platform/Pasteboard.h"

Pasteboard::~Pasteboard() = default;
