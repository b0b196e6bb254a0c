// Preloaded into a test's child process: reading a file whose path holds
// the text in A3_BLOCK_READS_OF never returns, as on a network mount that
// stopped answering. Every other read goes on as usual.

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto next =
        reinterpret_cast<ssize_t (*)(int, void*, size_t)>(::dlsym(RTLD_NEXT, "read"));
    if (const char* blocked = std::getenv("A3_BLOCK_READS_OF"); blocked && *blocked) {
        char path[PATH_MAX] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        if (::readlink(link.c_str(), path, sizeof path - 1) > 0 && std::strstr(path, blocked)) {
            for (;;) {
                ::pause();
            }
        }
    }
    return next(fd, buffer, count);
}
