#include "FileReader.h"

#include "FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace a3 {
namespace {

ReadFailure unreadable(std::string reason)
{
    return {ReadFailure::Kind::Unreadable, std::move(reason)};
}

ReadFailure systemFailure()
{
    return unreadable(std::strerror(errno));
}

ReadFailure tooLarge(std::uintmax_t size, std::uintmax_t maxSize)
{
    return {ReadFailure::Kind::TooLarge,
            "File is too large (" + std::to_string(size) + " bytes; at most " +
                std::to_string(maxSize) + " expected)",
            size};
}

// Why a file of this kind is not read; empty for a regular file.
std::string kindProblem(const struct stat& status)
{
    if (S_ISDIR(status.st_mode)) {
        return "Is a directory";
    }
    if (!S_ISREG(status.st_mode)) {
        return "Not a regular file";
    }
    return {};
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

FileRead readFileBounded(const std::filesystem::path& path, std::uintmax_t maxSize)
{
    struct stat measured
    {};
    if (::stat(path.c_str(), &measured) != 0) {
        return systemFailure();
    }
    if (std::string problem = kindProblem(measured); !problem.empty()) {
        return unreadable(std::move(problem));
    }
    const auto size = static_cast<std::uintmax_t>(measured.st_size);
    if (size > maxSize) {
        return tooLarge(size, maxSize);
    }

    // Without blocking and without becoming a controlling terminal, so that
    // whatever the name points to by now, opening it has no effect; it is
    // read only if it is still the file measured.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.isOpen()) {
        return systemFailure();
    }
    struct stat opened
    {};
    if (::fstat(file.get(), &opened) != 0) {
        return systemFailure();
    }
    if (std::string problem = kindProblem(opened); !problem.empty()) {
        return unreadable(std::move(problem));
    }
    if (!sameFile(measured, opened)) {
        return unreadable("File changed while it was read");
    }

    // One byte more than measured tells a file that grew in the meantime.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) + 1);
    std::size_t read = 0;
    while (read < bytes.size()) {
        const ssize_t count = ::read(file.get(), bytes.data() + read, bytes.size() - read);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return systemFailure();
        }
        if (count == 0) {
            break;
        }
        read += static_cast<std::size_t>(count);
    }
    if (read > size) {
        return unreadable("File changed while it was read");
    }
    bytes.resize(read);
    return bytes;
}

} // namespace a3
