// Preloaded into a test's child process: syncing a folder fails as on a disk
// gone bad (EIO), while files sync as usual.

#include <cerrno>
#include <dlfcn.h>
#include <sys/stat.h>

extern "C" int fsync(int fd)
{
    struct stat status = {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EIO;
        return -1;
    }
    static const auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return next(fd);
}
