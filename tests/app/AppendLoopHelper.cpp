// Appends numbered lines to a file the way simple programs and shell redirections do (open, append
// one line, close), one every given number of microseconds, until it is told to stop (SIGTERM),
// then prints how many lines it appended.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
}

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const long pauseMicroseconds = std::atol(argv[2]);
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::puts("ready");
    std::fflush(stdout);
    long appended = 0;
    while (!stopRequested) {
        const int fd = ::open(argv[1], O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "open: %s\n", std::strerror(errno));
            return 1;
        }
        char line[64];
        const int length = std::snprintf(line, sizeof line, "\nexternal %ld\n", appended);
        if (::write(fd, line, size_t(length)) != length) {
            std::fprintf(stderr, "write: %s\n", std::strerror(errno));
            return 1;
        }
        ::close(fd);
        ++appended;
        ::usleep(useconds_t(pauseMicroseconds));
    }
    std::printf("%ld\n", appended);
    return 0;
}
