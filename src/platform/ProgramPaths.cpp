#include "platform/ProgramPaths.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isProgram(const char* path)
{
    struct stat info { };
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && ::access(path, X_OK) == 0;
}

// The absolute path made of the given parts, joined by slashes, with "." and ".." taken out and
// repeated slashes made one, as the parts name it (no link is followed).
bool joinClean(const char* const* parts, std::size_t count, ProgramPaths::Buffer& out)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char* at = parts[i];
        while (*at) {
            while (*at == '/')
                ++at;
            const char* end = at;
            while (*end && *end != '/')
                ++end;
            const std::size_t size = std::size_t(end - at);
            if (size == 0 || (size == 1 && at[0] == '.')) {
                // Nothing to add.
            } else if (size == 2 && at[0] == '.' && at[1] == '.') {
                while (length > 0 && out[length - 1] != '/')
                    --length;
                if (length > 0)
                    --length;
            } else {
                if (length + 1 + size >= ProgramPaths::capacity)
                    return false;
                out[length++] = '/';
                std::memcpy(out + length, at, size);
                length += size;
            }
            at = end;
        }
    }
    if (length == 0)
        out[length++] = '/';
    out[length] = '\0';
    return true;
}

// The folder of an absolute path, in its own buffer.
bool folderOf(const char* program, ProgramPaths::Buffer& out)
{
    const char* slash = std::strrchr(program, '/');
    const std::size_t size = slash ? std::size_t(slash - program) : 0;
    if (size >= ProgramPaths::capacity)
        return false;
    std::memcpy(out, program, size);
    out[size] = '\0';
    return true;
}

// At its installed place relative to the given program, or beside it (a build folder) when
// nothing is installed there.
bool find(const char* from, const char* name, const char* installedRelative, ProgramPaths::Buffer& out)
{
    ProgramPaths::Buffer folder;
    ProgramPaths::Buffer beside;
    if (!folderOf(from, folder))
        return false;
    const char* installed[] = {folder, installedRelative, name};
    const char* besideParts[] = {folder, name};
    if (!joinClean(installed, 3, out) || !joinClean(besideParts, 2, beside))
        return false;
    if (!isProgram(out) && isProgram(beside))
        std::memcpy(out, beside, sizeof beside);
    return true;
}

} // namespace

bool ProgramPaths::running(Buffer& out)
{
    const ssize_t length = ::readlink("/proc/self/exe", out, capacity);
    if (length <= 0 || std::size_t(length) >= capacity)
        return false;
    out[length] = '\0';
    return true;
}

bool ProgramPaths::started(const char* command, const char* name, Buffer& out)
{
    return find(command, name, VESK_APPLICATION_FROM_COMMAND, out);
}

bool ProgramPaths::command(const char* program, Buffer& out)
{
    return find(program, commandName, VESK_COMMAND_FROM_APPLICATION, out);
}

bool ProgramPaths::beside(const char* program, const char* name, Buffer& out)
{
    ProgramPaths::Buffer folder;
    const char* parts[] = {folder, name};
    return folderOf(program, folder) && joinClean(parts, 2, out);
}
