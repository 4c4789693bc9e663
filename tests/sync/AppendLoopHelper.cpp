// Appends numbered lines to a file the way simple programs and shell redirections do (open, append one line,
// close), one every given number of microseconds, until it is told to stop (SIGTERM). Prints how many lines
// it has appended after each one.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::puts("ready");
    std::fflush(stdout);
    long appended = 0;
    for (; !stopRequested; ++appended) {
        char line[64];
        const int length = std::snprintf(line, sizeof line, "\nexternal %ld\n", appended);
        const int fd = ::open(argv[1], O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 || ::write(fd, line, size_t(length)) != length) {
            std::perror("append");
            return 1;
        }
        ::close(fd);
        std::printf("%ld\n", appended + 1);
        std::fflush(stdout);
        ::usleep(useconds_t(std::atol(argv[2])));
    }
    return 0;
}
