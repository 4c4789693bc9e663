#include "Pasteboard.h"

Pasteboard::~Pasteboard() = default;
