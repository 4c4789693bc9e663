// A program that opens a file and writes into it only later, as slow programs and held-open shell
// redirections do: late_write_helper FILE append|rewrite|overwrite. Opens FILE, prints "opened",
// waits for a line on its standard input, then appends the line "late line", rewrites the file from
// its start or writes "L" over its first byte, closes it, prints "closed" and exits.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const bool append = std::strcmp(argv[2], "append") == 0;
    const bool overwrite = std::strcmp(argv[2], "overwrite") == 0;
    const int fd = ::open(argv[1], O_WRONLY | O_CLOEXEC | (append ? O_APPEND : 0));
    if (fd < 0) {
        std::perror("open");
        return 1;
    }
    std::puts("opened");
    std::fflush(stdout);
    char go[16];
    if (!std::fgets(go, sizeof go, stdin))
        return 3;
    static const char line[] = "\nlate line\n";
    static const char text[] = "Late rewrite\n---\n---\n";
    const bool written = append ? ::write(fd, line, sizeof line - 1) == ssize_t(sizeof line - 1)
        : overwrite
        ? ::pwrite(fd, "L", 1, 0) == 1
        : ::ftruncate(fd, 0) == 0 && ::pwrite(fd, text, sizeof text - 1, 0) == ssize_t(sizeof text - 1);
    if (!written || ::close(fd) != 0) {
        std::perror("write");
        return 1;
    }
    std::puts("closed");
    std::fflush(stdout);
    return 0;
}
