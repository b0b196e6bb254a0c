#include "FolderSync.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace a3 {

Outcome syncFolder(int folderFd)
{
    if (::fsync(folderFd) == 0 || errno == EINVAL) {
        return {};
    }
    return Failure{std::strerror(errno)};
}

} // namespace a3
