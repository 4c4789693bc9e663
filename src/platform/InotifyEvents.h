#pragma once

#include <sys/inotify.h>

#include <functional>

// Reads every event queued on a non-blocking inotify descriptor and hands each to handle.
void readInotifyEvents(int inotify, const std::function<void(const inotify_event&)>& handle);
// Closes an inotify descriptor without waiting: the kernel takes milliseconds to let go of an
// instance that has watched anything, which the thread closing it waits out.
void closeInotifyLater(int inotify);
