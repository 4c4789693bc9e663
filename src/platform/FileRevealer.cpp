#include "platform/FileRevealer.h"

FileRevealer::~FileRevealer() = default;
