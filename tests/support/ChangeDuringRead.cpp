// Preloaded into a test's child process: the first read of a whole regular
// file (asked for one byte more than its size, as a careful reader asks)
// sees the file change half way. The file takes the content of the file
// named by A3_REPLACE_DURING_READ, and the read returns the first half of
// what was there and the second half of what replaced it.

#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto next =
        reinterpret_cast<ssize_t (*)(int, void*, size_t)>(::dlsym(RTLD_NEXT, "read"));
    static bool done = false;
    const ssize_t got = next(fd, buffer, count);
    const char* replacementPath = std::getenv("A3_REPLACE_DURING_READ");
    struct stat status = {};
    if (done || !replacementPath || got <= 0 || ::fstat(fd, &status) != 0 ||
        !S_ISREG(status.st_mode) || count != static_cast<size_t>(status.st_size) + 1) {
        return got;
    }
    done = true;
    std::vector<char> replacement(static_cast<size_t>(got));
    const int source = ::open(replacementPath, O_RDONLY);
    const ssize_t length = next(source, replacement.data(), replacement.size());
    ::close(source);
    const int target = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY);
    if (length != got || ::pwrite(target, replacement.data(), replacement.size(), 0) != got) {
        std::abort();
    }
    ::close(target);
    const size_t half = replacement.size() / 2;
    std::copy(replacement.begin() + static_cast<std::ptrdiff_t>(half), replacement.end(),
              static_cast<char*>(buffer) + half);
    return got;
}
