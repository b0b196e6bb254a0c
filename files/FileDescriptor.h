#pragma once

#include <unistd.h>
#include <utility>

namespace a3 {

// Owns one open file descriptor and closes it when it goes, for the paths on
// which a failure already has its reason and the close result no longer counts.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : _fd(fd)
    {}
    ~FileDescriptor()
    {
        if (_fd >= 0) {
            ::close(_fd);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : _fd(std::exchange(other._fd, -1))
    {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        std::swap(_fd, other._fd);
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return _fd; }
    bool isOpen() const { return _fd >= 0; }
    // Gives the descriptor up to the caller, who then closes it.
    int release() { return std::exchange(_fd, -1); }

private:
    int _fd = -1;
};

} // namespace a3
