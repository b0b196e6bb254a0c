#include "AtomicFile.h"

#include "EndingSignals.h"
#include "FileDescriptor.h"
#include "FolderSync.h"
#include "TemporaryFileRecord.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio> // renameat2
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace a3 {
namespace {

// As many links as the system itself follows before it gives up (ELOOP).
constexpr int kMaxSymlinkHops = 40;
constexpr int kMaxNameAttempts = 100;
// Names a new file may take before the folder counts as full of them.
constexpr int kMaxNewFileAttempts = 10000;

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

// A temporary file, created exclusively in one folder with the given mode and
// removed again unless it was renamed over its target or kept; removed too
// when an ending signal ends the program meanwhile.
class TemporaryFile
{
public:
    TemporaryFile(int folder, const std::string& targetName, mode_t mode)
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
            // Recorded before it is made, so that a signal that comes while it
            // is made removes it too.
            _record = RecordedTemporaryFile(folder, _name);
            _fd = FileDescriptor(::openat(
                folder, _name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode));
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
        _record.forget(); // the name last tried is not one made here
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

    // Gives the file the target's name unless a file has it; the errno of
    // the failure otherwise (EEXIST when the name is taken).
    int moveToFreeName(const std::string& targetName)
    {
        if (::renameat2(_folder, _name.c_str(), _folder, targetName.c_str(), RENAME_NOREPLACE) ==
            0) {
            _name.clear();
            return 0;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return errno;
        }
        // A file system that cannot rename without replacing can still link
        // a second name, which fails where one exists; the temporary name
        // then goes.
        return ::linkat(_folder, _name.c_str(), _folder, targetName.c_str(), 0) == 0 ? 0 : errno;
    }

    // Leaves the file where it is; returns its name.
    std::string keep()
    {
        _record.forget();
        return std::exchange(_name, {});
    }

private:
    int _folder;
    std::string _name;
    FileDescriptor _fd;
    RecordedTemporaryFile _record; // forgotten only once the destructor has removed the file
};

// Every byte at offset, through interruptions and short writes.
bool writeAll(int fd, std::span<const std::uint8_t> bytes, off_t offset = 0)
{
    while (!bytes.empty()) {
        const ssize_t count = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(count));
        offset += count;
    }
    return true;
}

// Copies the whole content of one file into another.
bool copyContent(int from, int to)
{
    std::array<std::uint8_t, 64 * 1024> buffer{};
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(from, buffer.data(), buffer.size(), offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0;
        }
        if (!writeAll(to, std::span(buffer).first(static_cast<std::size_t>(count)), offset)) {
            return false;
        }
        offset += count;
    }
}

// The target's folder, opened to create the temporary file in and to sync.
// A folder that may be written but not read is still used, unsynced.
struct Folder
{
    FileDescriptor fd;
    bool syncable = true;
    std::filesystem::path path;
};

std::optional<Folder> openFolder(const std::filesystem::path& folder)
{
    const std::filesystem::path path = folder.empty() ? std::filesystem::path(".") : folder;
    Folder opened{FileDescriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), true,
                  path};
    if (!opened.fd.isOpen() && errno == EACCES) {
        opened.fd = FileDescriptor(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        opened.syncable = false;
    }
    if (!opened.fd.isOpen()) {
        return std::nullopt;
    }
    return opened;
}

// Puts the folder's entries on the disk, or fails with why they may not be.
Outcome syncFolder(const Folder& folder)
{
    return folder.syncable ? a3::syncFolder(folder.fd.get()) : Failure{systemReason(EACCES)};
}

// Where a write of path goes: the folder and name of the file it replaces,
// and that file's status when it exists.
struct Destination
{
    Folder folder;
    std::string name;
    std::optional<struct stat> existing;

    std::filesystem::path path() const { return folder.path / name; }
};

// The destination of a write of path, or the system's reason why there is
// none that can be written.
Result<Destination> destinationOf(const std::filesystem::path& path)
{
    const std::optional<std::filesystem::path> target = resolvedTarget(path);
    if (!target) {
        return Failure{systemReason()};
    }
    std::string name = target->filename().string();
    if (name.empty() || name == "." || name == "..") {
        return Failure{systemReason(EISDIR)};
    }
    std::optional<Folder> folder = openFolder(target->parent_path());
    if (!folder) {
        return Failure{systemReason()};
    }
    Destination destination{std::move(*folder), std::move(name), std::nullopt};
    const int folderFd = destination.folder.fd.get();
    struct stat existing
    {};
    if (::fstatat(folderFd, destination.name.c_str(), &existing, 0) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            return Failure{systemReason(EISDIR)};
        }
        // Replacing a FIFO or a device with a regular file would break
        // whatever uses it; writing into one is not saving a file.
        if (!S_ISREG(existing.st_mode)) {
            return Failure{"Not a regular file"};
        }
        // A file its owner made read-only stays as it is.
        if (::faccessat(folderFd, destination.name.c_str(), W_OK, AT_EACCESS) != 0) {
            return Failure{systemReason()};
        }
        destination.existing = existing;
    } else if (errno != ENOENT) {
        return Failure{systemReason()}; // such as a name too long for the folder
    }
    return destination;
}

// The names of a file's extended attributes, or nothing with errno set.
template <typename List>
std::optional<std::set<std::string>> attributeNames(List list)
{
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0) {
            return errno == ENOTSUP ? std::optional(std::set<std::string>()) : std::nullopt;
        }
        std::vector<char> names(static_cast<std::size_t>(size));
        const ssize_t listed = list(names.data(), names.size());
        if (listed < 0 && errno == ERANGE) {
            continue; // one was added meanwhile
        }
        if (listed < 0) {
            return std::nullopt;
        }
        std::set<std::string> result;
        for (auto it = names.begin(); it < names.begin() + listed;) {
            const auto end = std::find(it, names.end(), '\0');
            result.emplace(it, end);
            it = end + 1;
        }
        return result;
    }
}

// One extended attribute's value, or nothing with errno set.
template <typename Get>
std::optional<std::vector<char>> attributeValue(Get get)
{
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0) {
            return std::nullopt;
        }
        std::vector<char> value(static_cast<std::size_t>(size));
        const ssize_t read = get(value.data(), value.size());
        if (read < 0 && errno == ERANGE) {
            continue;
        }
        if (read < 0) {
            return std::nullopt;
        }
        value.resize(static_cast<std::size_t>(read));
        return value;
    }
}

enum class Carried
{
    Everything,
    NotEverything, // the new file cannot be given all the old one has
    Failed,        // errno says why
};

// Gives the new file the old file's extended attributes and no others.
Carried carryAttributes(const std::filesystem::path& old, int fd)
{
    const auto oldNames = attributeNames(
        [&](char* list, std::size_t size) { return ::listxattr(old.c_str(), list, size); });
    const auto newNames =
        attributeNames([&](char* list, std::size_t size) { return ::flistxattr(fd, list, size); });
    if (!oldNames || !newNames) {
        return Carried::Failed;
    }
    // Inherited from the folder, such as its default ACL.
    for (const std::string& name : *newNames) {
        if (!oldNames->contains(name) && ::fremovexattr(fd, name.c_str()) != 0) {
            return Carried::NotEverything;
        }
    }
    for (const std::string& name : *oldNames) {
        const auto value = attributeValue([&](void* buffer, std::size_t size) {
            return ::getxattr(old.c_str(), name.c_str(), buffer, size);
        });
        if (!value) {
            return Carried::Failed;
        }
        const auto present = attributeValue([&](void* buffer, std::size_t size) {
            return ::fgetxattr(fd, name.c_str(), buffer, size);
        });
        // Set only where it differs: a security label the new file already
        // has may be one the writer could not set.
        if ((!present || *present != *value) &&
            ::fsetxattr(fd, name.c_str(), value->data(), value->size(), 0) != 0) {
            return Carried::NotEverything;
        }
    }
    return Carried::Everything;
}

Carried carryMode(const struct stat& old, int fd)
{
    struct stat now
    {};
    if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &now) != 0) {
        return Carried::Failed;
    }
    return (now.st_mode & 07777) == (old.st_mode & 07777) ? Carried::Everything
                                                          : Carried::NotEverything;
}

Failure notWritten(std::string reason)
{
    return {std::move(reason)};
}

// Written, but the folder holding the new name could not be synced.
Written notDurable(const Outcome& synced)
{
    return {false, synced.failure().reason};
}

// Writes into the existing file itself, which keeps everything it is, with
// a copy of its old content beside it until the new content is on the disk.
WriteResult writeInPlace(const Destination& destination, std::span<const std::uint8_t> bytes)
{
    const int folder = destination.folder.fd.get();
    const FileDescriptor file(
        ::openat(folder, destination.name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    struct stat status
    {};
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0) {
        return notWritten(systemReason());
    }
    if (!S_ISREG(status.st_mode)) {
        return notWritten("Not a regular file");
    }
    TemporaryFile copy(folder, destination.name, 0600);
    if (!copy.isOpen() || !copyContent(file.get(), copy.fd()) || ::fsync(copy.fd()) != 0 ||
        !copy.close()) {
        return notWritten(systemReason());
    }
    // The copy's name need only outlast a crash during the write below; a
    // folder that cannot be synced leaves it less safe, not the new content.
    static_cast<void>(syncFolder(destination.folder));
    // From here the old content is only in the copy: an ending signal waits
    // until the new content is on the disk, rather than remove the copy first.
    const EndingSignalsHeld held;
    if (!writeAll(file.get(), bytes) ||
        ::ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0 ||
        ::fsync(file.get()) != 0) {
        const std::string reason = systemReason();
        return notWritten(reason + "; the old content is kept in " +
                          (destination.folder.path / copy.keep()).string());
    }
    return Written{};
}

// Writes the new content into fd and gives the new file what the old one is
// apart from its content. The owner comes first, as changing it clears
// set-user-ID bits; the attributes after the content, as a write removes
// file capabilities; the mode last, after the ACL attributes that also set it.
Carried writeReplacement(const Destination& destination, int fd,
                         std::span<const std::uint8_t> bytes)
{
    const std::optional<struct stat>& old = destination.existing;
    if (old && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
        return errno == EPERM ? Carried::NotEverything : Carried::Failed;
    }
    if (!writeAll(fd, bytes)) {
        return Carried::Failed;
    }
    if (!old) {
        return Carried::Everything;
    }
    const Carried attributes = carryAttributes(destination.path(), fd);
    return attributes == Carried::Everything ? carryMode(*old, fd) : attributes;
}

// Writes a new file and renames it over the destination.
WriteResult replace(const Destination& destination, std::span<const std::uint8_t> bytes)
{
    // A new file's permissions are the usual ones; a replacement's stay
    // private until they are the old file's.
    TemporaryFile temporary(destination.folder.fd.get(), destination.name,
                            destination.existing ? 0600 : 0666);
    if (!temporary.isOpen()) {
        return notWritten(systemReason());
    }
    const Carried carried = writeReplacement(destination, temporary.fd(), bytes);
    if (carried == Carried::NotEverything) {
        return writeInPlace(destination, bytes);
    }
    if (carried == Carried::Failed || ::fsync(temporary.fd()) != 0 || !temporary.close() ||
        !temporary.renameOver(destination.name)) {
        return notWritten(systemReason());
    }
    // The rename itself is durable only once the folder is synced.
    if (const Outcome synced = syncFolder(destination.folder); !synced.ok()) {
        return notDurable(synced);
    }
    return Written{};
}

} // namespace

WriteResult writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes)
{
    const Result<Destination> found = destinationOf(path);
    if (!found.ok()) {
        return found.failure();
    }
    const Destination& destination = *found;
    // A new file in place of one of several names would leave the others
    // with the old content.
    if (destination.existing && destination.existing->st_nlink > 1) {
        return writeInPlace(destination, bytes);
    }
    return replace(destination, bytes);
}

Result<NewFile> writeNewFile(const std::filesystem::path& folderPath,
                             const std::function<std::string(int attempt)>& nameFor,
                             std::span<const std::uint8_t> bytes)
{
    const std::optional<Folder> folder = openFolder(folderPath);
    if (!folder) {
        return notWritten(systemReason());
    }
    TemporaryFile temporary(folder->fd.get(), nameFor(1), 0666);
    if (!temporary.isOpen()) {
        return notWritten(systemReason());
    }
    if (!writeAll(temporary.fd(), bytes) || ::fsync(temporary.fd()) != 0 || !temporary.close()) {
        return notWritten(systemReason());
    }
    for (int attempt = 1; attempt <= kMaxNewFileAttempts; ++attempt) {
        const std::string name = nameFor(attempt);
        if (const int error = temporary.moveToFreeName(name); error == EEXIST) {
            continue;
        } else if (error != 0) {
            return notWritten(systemReason(error));
        }
        const std::filesystem::path written = folder->path / name;
        if (const Outcome synced = syncFolder(*folder); !synced.ok()) {
            return NewFile{written, notDurable(synced)};
        }
        return NewFile{written, {}};
    }
    return notWritten(systemReason(EEXIST));
}

Outcome checkFileCanBeWritten(const std::filesystem::path& path)
{
    const Result<Destination> found = destinationOf(path);
    if (!found.ok()) {
        return found.failure();
    }
    // Creating the temporary file a write would create proves the folder
    // takes one; it is removed again at once.
    if (!TemporaryFile(found->folder.fd.get(), found->name, 0600).isOpen()) {
        return Failure{systemReason()};
    }
    return {};
}

} // namespace a3
