#include "AtomicFile.h"

#include "FileDescriptor.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace a3 {
namespace {

// As many links as the system itself follows before it gives up (ELOOP).
constexpr int kMaxSymlinkHops = 40;
constexpr int kMaxNameAttempts = 100;

std::string systemReason(int error = errno)
{
    return std::strerror(error);
}

// The file that writing to path replaces: what its chain of symbolic links
// ends at, or path itself. The chain's end need not exist yet.
std::optional<std::filesystem::path> resolvedTarget(std::filesystem::path path)
{
    for (int hops = 0; hops < kMaxSymlinkHops; ++hops) {
        struct stat status
        {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return path;
        }
        std::array<char, PATH_MAX> link{};
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
            return path; // not a link any more, or unusable: the steps below say why
        }
        const std::filesystem::path next(
            std::string(link.data(), static_cast<std::size_t>(length)));
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    errno = ELOOP;
    return std::nullopt;
}

std::string randomSuffix(std::mt19937& random)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(6, ' ');
    for (char& c : suffix) {
        c = kAlphabet[pick(random)];
    }
    return suffix;
}

// A temporary file, created exclusively in one folder and removed again
// unless it was renamed over its target.
class TemporaryFile
{
public:
    TemporaryFile(int folder, const std::string& targetName)
        : _folder(folder)
    {
        std::mt19937 random(std::random_device{}());
        // Named after the target so that a leftover tells where it came
        // from; a target name near the system's limit leaves no room for a
        // suffix, and then a short name serves.
        bool shortName = false;
        for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
            const std::string stem = shortName ? std::string(".a3-") : targetName + '.';
            _name = stem + randomSuffix(random);
            _fd = FileDescriptor(::openat(
                folder, _name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
            if (_fd.isOpen()) {
                return;
            }
            if (errno == ENAMETOOLONG && !shortName) {
                shortName = true;
            } else if (errno != EEXIST) {
                break;
            }
        }
        _name.clear();
    }
    ~TemporaryFile()
    {
        _fd = FileDescriptor();
        if (!_name.empty()) {
            ::unlinkat(_folder, _name.c_str(), 0);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isOpen() const { return _fd.isOpen(); }
    int fd() const { return _fd.get(); }

    // Every byte, through interruptions and short writes.
    bool write(std::span<const std::uint8_t> bytes)
    {
        while (!bytes.empty()) {
            const ssize_t count = ::write(_fd.get(), bytes.data(), bytes.size());
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return false;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(count));
        }
        return true;
    }

    // Closes the file, reporting what the close reports (a delayed write
    // error on some file systems).
    bool close() { return ::close(_fd.release()) == 0; }

    bool renameOver(const std::string& targetName)
    {
        if (::renameat(_folder, _name.c_str(), _folder, targetName.c_str()) != 0) {
            return false;
        }
        _name.clear();
        return true;
    }

private:
    int _folder;
    std::string _name;
    FileDescriptor _fd;
};

// The target's folder, opened to create the temporary file in and to sync.
// A folder that may be written but not read is still used, unsynced.
struct Folder
{
    FileDescriptor fd;
    bool syncable = true;
};

std::optional<Folder> openFolder(const std::filesystem::path& folder)
{
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    Folder opened{FileDescriptor(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))};
    if (!opened.fd.isOpen() && errno == EACCES) {
        opened = {FileDescriptor(::open(name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), false};
    }
    if (!opened.fd.isOpen()) {
        return std::nullopt;
    }
    return opened;
}

// Where a write of path goes: the folder and name of the file it replaces,
// and that file's status when it exists.
struct Destination
{
    Folder folder;
    std::string name;
    std::optional<struct stat> existing;
};

// The destination of a write of path, or the system's reason why there is
// none that can be written.
std::variant<Destination, std::string> destinationOf(const std::filesystem::path& path)
{
    const std::optional<std::filesystem::path> target = resolvedTarget(path);
    if (!target) {
        return systemReason();
    }
    std::string name = target->filename().string();
    if (name.empty() || name == "." || name == "..") {
        return systemReason(EISDIR);
    }
    std::optional<Folder> folder = openFolder(target->parent_path());
    if (!folder) {
        return systemReason();
    }
    Destination destination{std::move(*folder), std::move(name), std::nullopt};
    struct stat existing
    {};
    if (::fstatat(destination.folder.fd.get(), destination.name.c_str(), &existing, 0) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            return systemReason(EISDIR);
        }
        destination.existing = existing;
    } else if (errno != ENOENT) {
        return systemReason(); // such as a name too long for the folder
    }
    return destination;
}

} // namespace

std::string writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes)
{
    auto found = destinationOf(path);
    if (auto* failure = std::get_if<std::string>(&found)) {
        return std::move(*failure);
    }
    const Destination& destination = std::get<Destination>(found);
    const int folder = destination.folder.fd.get();

    TemporaryFile temporary(folder, destination.name);
    if (!temporary.isOpen()) {
        return systemReason();
    }
    if (destination.existing &&
        ::fchmod(temporary.fd(), destination.existing->st_mode & 07777) != 0) {
        return systemReason();
    }
    if (!temporary.write(bytes) || ::fsync(temporary.fd()) != 0 || !temporary.close()) {
        return systemReason();
    }
    if (!temporary.renameOver(destination.name)) {
        return systemReason();
    }
    // The rename itself is durable only once the folder is synced. Some file
    // systems cannot sync a folder (EINVAL); the file is in place all the same.
    if (destination.folder.syncable && ::fsync(folder) != 0 && errno != EINVAL) {
        return systemReason();
    }
    return {};
}

std::string whyFileCannotBeWritten(const std::filesystem::path& path)
{
    auto found = destinationOf(path);
    if (auto* failure = std::get_if<std::string>(&found)) {
        return std::move(*failure);
    }
    const Destination& destination = std::get<Destination>(found);
    // Creating the temporary file a write would create proves the folder
    // takes one; it is removed again at once.
    if (!TemporaryFile(destination.folder.fd.get(), destination.name).isOpen()) {
        return systemReason();
    }
    return {};
}

} // namespace a3
