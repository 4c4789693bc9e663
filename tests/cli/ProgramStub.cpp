// Stands in for vesk-app and vesk-cli in the launch test: prints the file it runs from, its
// process id and its arguments, one a line.
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char* argv[])
{
    char path[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", path, sizeof path - 1) <= 0)
        return 3;
    const char* slash = std::strrchr(path, '/');
    std::printf("%s %d\n", slash ? slash + 1 : path, int(::getpid()));
    for (int i = 0; i < argc; ++i)
        std::printf("%s\n", argv[i]);
    return 0;
}
