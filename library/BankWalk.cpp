#include "BankWalk.h"

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace a3::library {
namespace {

// Whether a file of this name may hold dumps whatever its length: MIDI files
// and captures, hex text and archives by the endings they are given.
bool mayHoldDumps(std::string_view name)
{
    static constexpr std::array<std::string_view, 13> kEndings{
        "syx", "mid", "midi", "smf", "rmi", "txt", "zip", "lha", "lzh", "tar", "tgz", "gz", "7z"};
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view ending = name.substr(dot + 1);
    return std::ranges::any_of(kEndings, [&](std::string_view known) {
        return std::ranges::equal(ending, known, [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        });
    });
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
                       (static_cast<std::uintmax_t>(child.st_size) == kAllDataFileSize ||
                        mayHoldDumps(name))) {
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
    NotRead, // not a regular file, or not of a length that is read
    Failed,  // errno says why
};

// One read of the file: its content and what it was when read. Files of an
// All-Data file's length are read, and with anyLength every other one up to
// the largest scanned.
ReadOutcome readOnce(const std::filesystem::path& path, bool anyLength,
                     std::vector<std::uint8_t>& bytes, FileIdentity& identity)
{
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat before
    {};
    if (!fd.isOpen() || ::fstat(fd.get(), &before) != 0) {
        return ReadOutcome::Failed;
    }
    identity = identityOf(before);
    const std::uintmax_t size = identity.size;
    if (!S_ISREG(before.st_mode) ||
        (size != kAllDataFileSize && !(anyLength && size <= kLargestFileScanned))) {
        return ReadOutcome::NotRead;
    }
    bytes.resize(size + 1); // one more, to notice a file that grew
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
    const bool changed = !(identityOf(before) == identity) || total != size;
    return changed ? ReadOutcome::Changed : ReadOutcome::Whole;
}

// Adds the bank of a whole dump; false, adding nothing, for bytes that are
// no All-Data dump.
bool addBank(std::vector<FileBank>& banks, std::optional<DumpPlace> place,
             std::span<const std::uint8_t> dump)
{
    const Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(dump);
    if (!bank.ok()) {
        return false;
    }
    const A3AllData data = bank->data();
    FileBank& kept = banks.emplace_back();
    kept.place = std::move(place);
    kept.summary.chainChecksum = bank->chainChecksum();
    kept.summary.hasDefects = !toleratedDefects(dump).empty();
    std::memcpy(kept.summary.patches.data(), data.patch.data(), kBankPatchBytes);
    return true;
}

} // namespace

FileIdentity identityOf(const struct stat& status)
{
    return {static_cast<std::uintmax_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                status.st_mtim.tv_nsec,
            static_cast<std::uint64_t>(status.st_ino)};
}

WalkResult findBankFiles(std::span<const std::filesystem::path> folders, UpdateProgress* progress)
{
    WalkResult result;
    Walker walker(result, progress);
    for (const auto& folder : folders) {
        walker.walk(folder);
    }
    return result;
}

BanksRead readBanks(const std::filesystem::path& path, FileIdentity& identity, bool anyName)
{
    const bool scanned = anyName || mayHoldDumps(path.filename().native());
    // A file rewritten in place while being read shows a new time or size
    // after the read: read it again, a few times at most for a file that
    // never settles.
    constexpr int kAttempts = 4;
    std::vector<std::uint8_t> bytes;
    ReadOutcome outcome = ReadOutcome::Changed;
    for (int attempt = 0; attempt < kAttempts && outcome == ReadOutcome::Changed; ++attempt) {
        outcome = readOnce(path, scanned, bytes, identity);
    }
    std::vector<FileBank> banks;
    switch (outcome) {
    case ReadOutcome::Failed:
        return Failure{std::strerror(errno)};
    case ReadOutcome::Changed:
        return Failure{"changed each time it was read"};
    case ReadOutcome::NotRead:
        return banks;
    case ReadOutcome::Whole:
        break;
    }
    // The bank's own file first: nearly every file read is one, and it needs
    // no search.
    if (bytes.size() == kAllDataFileSize && addBank(banks, std::nullopt, bytes)) {
        return banks;
    }
    if (scanned) {
        for (DumpInFile& dump : dumpsInBytes(bytes).dumps) {
            addBank(banks, std::move(dump.place), dump.bytes);
        }
    }
    return banks;
}

} // namespace a3::library
