#pragma once

#include <climits>
#include <cstddef>

// Where Vesk's programs find one another (see ProgramLocation.h), worked out with the C library
// alone: the vesk command uses it before it loads anything else. Paths are bytes as the system
// has them; each function fills a buffer of PATH_MAX bytes and returns false when the result
// would not fit or the system does not say.
class ProgramPaths {
public:
    static constexpr std::size_t capacity = PATH_MAX;
    using Buffer = char[capacity];

    static constexpr char commandName[] = "vesk";
    static constexpr char applicationName[] = "vesk-app";
    static constexpr char toolName[] = "vesk-cli";

    // The program running now, symbolic links resolved.
    static bool running(Buffer& out);
    // The private program `name` (the application or the terminal tool) that the command at this
    // absolute path starts.
    static bool started(const char* command, const char* name, Buffer& out);
    // The command that starts the private program at this absolute path.
    static bool command(const char* program, Buffer& out);
    // The program `name` in the folder of the program at this absolute path.
    static bool beside(const char* program, const char* name, Buffer& out);
};
