#include "platform/InotifyEvents.h"

#include <cerrno>
#include <climits>
#include <system_error>
#include <thread>
#include <unistd.h>

void readInotifyEvents(int inotify, const std::function<void(const inotify_event&)>& handle)
{
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t length = ::read(inotify, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR)
                continue;
            return;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            handle(*event);
        }
    }
}

void closeInotifyLater(int inotify)
{
    if (inotify < 0)
        return;
    try {
        std::thread([inotify] { ::close(inotify); }).detach();
    } catch (const std::system_error&) {
        ::close(inotify);
    }
}
