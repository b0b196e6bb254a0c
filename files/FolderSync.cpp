#include "FolderSync.h"

#include "FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>

namespace a3 {

int syncFolder(int folderFd)
{
    return ::fsync(folderFd) == 0 || errno == EINVAL ? 0 : errno;
}

int syncFolder(const std::filesystem::path& folder)
{
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.isOpen() ? syncFolder(fd.get()) : errno;
}

} // namespace a3
