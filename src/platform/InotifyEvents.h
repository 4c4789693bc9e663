#pragma once

#include <sys/inotify.h>

#include <functional>

// Reads every event queued on a non-blocking inotify descriptor and hands each to handle.
void readInotifyEvents(int inotify, const std::function<void(const inotify_event&)>& handle);
