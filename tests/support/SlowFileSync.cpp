// Preloaded into a test's child process: syncing a file whose path matches
// the pattern A3_SLOW_SYNC (as fnmatch() takes it) lasts until a signal
// comes, or 30 seconds at most, as on a disk so slow that the user gives up
// on the save. The wait ends once SIGINT or SIGTERM is pending, held off or
// not, or a handler has returned; the file is then synced, or with
// A3_SLOW_SYNC_FAILS set the sync fails as on a disk gone bad (EIO).
// Standard output tells the test "syncing PATH" before the wait and "synced
// PATH" or "failed PATH" after it, so that the test knows when to send the
// signal and how far the program got.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fnmatch.h>
#include <string>
#include <unistd.h>

namespace {

std::string pathOf(int fd)
{
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

void tell(const std::string& what, const std::string& path)
{
    const std::string line = what + ' ' + path + '\n';
    if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        std::abort(); // the test would wait for a line that never comes
    }
}

bool endingSignalPending()
{
    sigset_t pending;
    return ::sigpending(&pending) == 0 &&
           (sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1);
}

void waitForASignal()
{
    const timespec step{0, 10'000'000};
    for (int steps = 0; steps < 3000 && !endingSignalPending(); ++steps) {
        if (::nanosleep(&step, nullptr) != 0 && errno == EINTR) {
            return;
        }
    }
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    const char* pattern = std::getenv("A3_SLOW_SYNC");
    const std::string path = pathOf(fd);
    if (!pattern || ::fnmatch(pattern, path.c_str(), 0) != 0) {
        return next(fd);
    }
    tell("syncing", path);
    waitForASignal();
    if (std::getenv("A3_SLOW_SYNC_FAILS")) {
        tell("failed", path);
        errno = EIO;
        return -1;
    }
    const int result = next(fd);
    const int error = errno;
    tell("synced", path);
    errno = error;
    return result;
}
