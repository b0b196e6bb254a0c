#include "BankWalk.h"

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace a3::library {
namespace {

FileIdentity identityOf(const struct stat& status)
{
    return {static_cast<std::uintmax_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                status.st_mtim.tv_nsec,
            static_cast<std::uint64_t>(status.st_ino)};
}

class Walker
{
public:
    Walker(WalkResult& result, UpdateProgress* progress)
        : _result(result)
        , _progress(progress)
    {}

    void walk(const std::filesystem::path& folder)
    {
        if (_progress && _progress->cancelled()) {
            _result.cancelled = true;
            return;
        }
        if (_progress) {
            _progress->arrive(folder);
        }
        const FileDescriptor fd(
            ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
        struct stat status
        {};
        if (!fd.isOpen() || ::fstat(fd.get(), &status) != 0) {
            _result.unreadableFolders.push_back({folder, std::strerror(errno)});
            return;
        }
        if (!_visited.emplace(status.st_dev, status.st_ino).second) {
            ++_result.loopsSkipped;
            return;
        }
        const int listFd = ::dup(fd.get());
        DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (!dir) {
            _result.unreadableFolders.push_back({folder, std::strerror(errno)});
            if (listFd >= 0) {
                ::close(listFd);
            }
            return;
        }
        std::vector<std::filesystem::path> subfolders;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            // Whatever a link points to counts as what it points to.
            struct stat child
            {};
            if (::fstatat(fd.get(), name, &child, 0) != 0) {
                continue; // a dangling link, or gone meanwhile
            }
            if (S_ISDIR(child.st_mode)) {
                subfolders.push_back(folder / name);
            } else if (S_ISREG(child.st_mode) &&
                       static_cast<std::uintmax_t>(child.st_size) == kAllDataFileSize) {
                _result.files.push_back({folder / name, identityOf(child)});
            }
        }
        ::closedir(dir);
        // By name, so that a folder reached by two ways is known by the same
        // one each time.
        std::sort(subfolders.begin(), subfolders.end());
        for (const auto& subfolder : subfolders) {
            walk(subfolder);
        }
    }

private:
    WalkResult& _result;
    UpdateProgress* _progress;
    std::set<std::pair<dev_t, ino_t>> _visited;
};

enum class ReadOutcome
{
    Whole,
    Changed, // while it was read
    NotABank,
    Failed, // errno says why
};

// One read of the file: its content and what it was when read.
ReadOutcome readOnce(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes,
                     FileIdentity& identity)
{
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat before
    {};
    if (!fd.isOpen() || ::fstat(fd.get(), &before) != 0) {
        return ReadOutcome::Failed;
    }
    identity = identityOf(before);
    if (!S_ISREG(before.st_mode) || identity.size != kAllDataFileSize) {
        return ReadOutcome::NotABank;
    }
    bytes.resize(kAllDataFileSize + 1); // one more, to notice a file that grew
    std::size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + total, bytes.size() - total);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return ReadOutcome::Failed;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    bytes.resize(total);
    struct stat after
    {};
    if (::fstat(fd.get(), &after) != 0) {
        return ReadOutcome::Failed;
    }
    identity = identityOf(after);
    const bool changed = !(identityOf(before) == identity) || total != kAllDataFileSize;
    return changed ? ReadOutcome::Changed : ReadOutcome::Whole;
}

} // namespace

WalkResult findBankFiles(std::span<const std::filesystem::path> folders, UpdateProgress* progress)
{
    WalkResult result;
    Walker walker(result, progress);
    for (const auto& folder : folders) {
        walker.walk(folder);
    }
    return result;
}

BankRead readBank(const std::filesystem::path& path, FileIdentity& identity)
{
    // A file rewritten in place while being read shows a new time or size
    // after the read: read it again, a few times at most for a file that
    // never settles.
    constexpr int kAttempts = 4;
    std::vector<std::uint8_t> bytes;
    ReadOutcome outcome = ReadOutcome::Changed;
    for (int attempt = 0; attempt < kAttempts && outcome == ReadOutcome::Changed; ++attempt) {
        outcome = readOnce(path, bytes, identity);
    }
    BankRead read;
    switch (outcome) {
    case ReadOutcome::Failed:
        read.reason = std::strerror(errno);
        return read;
    case ReadOutcome::Changed:
        read.outcome = BankRead::Outcome::Unsettled;
        return read;
    case ReadOutcome::NotABank:
        read.outcome = BankRead::Outcome::NotABank;
        return read;
    case ReadOutcome::Whole:
        break;
    }
    const Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(bytes);
    if (!bank.ok()) {
        read.outcome = BankRead::Outcome::NotABank;
        return read;
    }
    const A3AllData data = bank->data();
    BankSummary& summary = read.bank.emplace();
    summary.chainChecksum = bank->chainChecksum();
    summary.hasDefects = !toleratedDefects(bytes).empty();
    std::memcpy(summary.patches.data(), data.patch.data(), kBankPatchBytes);
    read.outcome = BankRead::Outcome::Bank;
    return read;
}

} // namespace a3::library
