#include "FileRevealer.h"

FileRevealer::~FileRevealer() = default;
