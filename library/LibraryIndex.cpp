#include "LibraryIndex.h"

#include "FileDescriptor.h"
#include "Sqlite.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace a3::library {
namespace {

// Raised when the index changes shape; an index of another version is
// rebuilt rather than read.
constexpr int kSchemaVersion = 2;
// Long enough for another program's batch of writes to end.
constexpr int kBusyTimeoutMs = 60'000;
// Files, and banks, written a transaction: short enough that another
// program waiting for the index gets its turn soon. The banks' bound keeps
// archives of many banks from holding a transaction, and the memory of the
// reads ahead of it, for long.
constexpr std::size_t kFilesPerTransaction = 256;
constexpr std::size_t kBanksPerTransaction = 1024;

// A dump's archive members as the index keeps them: each name followed by a
// zero byte, which no name holds, so that no members and one unnamed member
// (a compressed file that stores no name) differ.
std::string joinedMembers(const std::vector<std::string>& members)
{
    std::string joined;
    for (const std::string& member : members) {
        joined += member;
        joined += '\0';
    }
    return joined;
}

std::vector<std::string> splitMembers(std::span<const std::uint8_t> joined)
{
    std::vector<std::string> members;
    std::string member;
    for (const std::uint8_t byte : joined) {
        if (byte == 0) {
            members.push_back(std::exchange(member, {}));
        } else {
            member += static_cast<char>(byte);
        }
    }
    return members;
}

// Reads the banks of files on a thread of its own, a transaction's worth
// at a time and at most two ahead of the caller that stores them, so that
// reading and SQLite's writing overlap. Whole batches change hands, so the
// threads seldom wait for each other.
class ReadAhead
{
public:
    struct Read
    {
        const FoundFile* file = nullptr;
        FileIdentity identity;
        BanksRead read = std::vector<FileBank>();
    };

    ReadAhead(const std::vector<const FoundFile*>& files, UpdateProgress* progress)
        : _files(files)
        , _reader([this, progress] { readAll(progress); })
    {}
    ~ReadAhead()
    {
        {
            const std::scoped_lock lock(_mutex);
            _stopping = true;
        }
        _changed.notify_all();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The reads of the next files in order, up to a transaction's worth;
    // none once every file was read, or the reader stopped on a cancel.
    std::vector<Read> next()
    {
        std::unique_lock lock(_mutex);
        _changed.wait(lock, [&] { return !_ready.empty() || _readerDone; });
        if (_ready.empty()) {
            return {};
        }
        std::vector<Read> batch = std::move(_ready.front());
        _ready.pop_front();
        _changed.notify_all();
        return batch;
    }
    // A batch done with, for the reader to fill again without allocating.
    void giveBack(std::vector<Read> batch)
    {
        const std::scoped_lock lock(_mutex);
        _spare.push_back(std::move(batch));
    }

private:
    static constexpr std::size_t kBatchesAhead = 2;

    void readAll(UpdateProgress* progress)
    {
        bool cancelled = false;
        for (std::size_t k = 0; k < _files.size() && !cancelled;) {
            std::vector<Read> batch;
            {
                std::unique_lock lock(_mutex);
                _changed.wait(lock, [&] { return _ready.size() < kBatchesAhead || _stopping; });
                if (_stopping) {
                    break;
                }
                if (!_spare.empty()) {
                    batch = std::move(_spare.back());
                    _spare.pop_back();
                }
            }
            batch.clear();
            for (std::size_t banks = 0; k < _files.size() && batch.size() < kFilesPerTransaction &&
                                        banks < kBanksPerTransaction;) {
                if (progress && progress->cancelled()) {
                    cancelled = true;
                    break;
                }
                if (progress) {
                    progress->arrive(_files[k]->path.parent_path());
                }
                Read& read = batch.emplace_back();
                read.file = _files[k++];
                read.identity = read.file->identity;
                read.read = readBanks(read.file->path, read.identity);
                banks += read.read.ok() ? read.read->size() : 0;
            }
            const std::scoped_lock lock(_mutex);
            if (!batch.empty()) {
                _ready.push_back(std::move(batch));
                _changed.notify_all();
            }
        }
        const std::scoped_lock lock(_mutex);
        _readerDone = true;
        _changed.notify_all();
    }

    const std::vector<const FoundFile*>& _files;
    std::mutex _mutex;
    std::condition_variable _changed;
    std::deque<std::vector<Read>> _ready;
    std::vector<std::vector<Read>> _spare;
    bool _readerDone = false;
    bool _stopping = false;
    std::jthread _reader; // last: started once the rest is made, joined first
};

} // namespace

// A shared lock on a file beside the index, held by every program that has
// the index open; the index is replaced only under an exclusive one. The
// lock file itself stays, so that every program locks the same file.
class LibraryIndex::UseLock
{
public:
    explicit UseLock(const std::filesystem::path& index)
        : _fd(::open((index.native() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY,
                     0644))
    {
        if (!_fd.isOpen()) {
            throw SqliteError(index.string() + ".lock: " + std::strerror(errno));
        }
        share();
    }

    // Waits while another program replaces the index.
    void share()
    {
        while (::flock(_fd.get(), LOCK_SH) != 0 && errno == EINTR) {
        }
    }

    // Exclusive, when no other program holds the lock; shared again
    // otherwise (a failed conversion gives the shared lock up).
    bool takeAlone()
    {
        if (::flock(_fd.get(), LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        share();
        return false;
    }

private:
    FileDescriptor _fd;
};

LibraryIndex::LibraryIndex(const std::filesystem::path& file, const std::string& knownDamage)
    : _file(file)
{
    std::error_code ignored; // a folder that cannot be made fails the open, with its reason
    std::filesystem::create_directories(_file.parent_path(), ignored);
    _useLock = std::make_unique<UseLock>(_file);
    open();
    try {
        _rebuiltBecause = knownDamage.empty() ? unusableBecause() : knownDamage;
        if (!_rebuiltBecause.empty()) {
            replace(_rebuiltBecause);
        }
        createSchema();
    } catch (...) {
        close(); // no destructor runs for an object that was never made
        throw;
    }
}

LibraryIndex::~LibraryIndex()
{
    close();
}

void LibraryIndex::replace(const std::string& reason)
{
    close();
    if (!_useLock->takeAlone()) {
        throw SqliteError("it is damaged (" + reason +
                              "), and another program has it open: it is made anew "
                              "once that program is done with it",
                          SQLITE_CORRUPT);
    }
    std::error_code ignored; // what cannot be removed fails the open that follows
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(_file.native() + suffix, ignored);
    }
    open();
    _useLock->share();
}

void LibraryIndex::open()
{
    if (sqlite3_open_v2(_file.c_str(), &_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string reason = _db ? sqlite3_errmsg(_db) : "out of memory";
        close();
        throw SqliteError(_file.string() + ": " + reason);
    }
    sqlite3_busy_timeout(_db, kBusyTimeoutMs);
    // For a new index only (an existing one keeps its own): a bank's row of
    // 6.5 kB fills most of a small page and spills into another, so pages of
    // many rows cost far fewer reads and writes. An unreadable file fails
    // this too, and is found so by the checks that follow.
    sqlite3_exec(_db, "PRAGMA page_size=65536", nullptr, nullptr, nullptr);
}

void LibraryIndex::close()
{
    sqlite3_close_v2(std::exchange(_db, nullptr));
}

std::string LibraryIndex::unusableBecause()
{
    try {
        execute(_db, "PRAGMA journal_mode=WAL");
        Statement version(_db, "PRAGMA user_version");
        version.step();
        const std::int64_t found = version.integer(0);
        if (found != 0 && found != kSchemaVersion) {
            return "it was made by another version (" + std::to_string(found) + ")";
        }
        Statement check(_db, "PRAGMA quick_check(1)");
        if (check.step() && check.text(0) != "ok") {
            return "it is damaged (" + check.text(0) + ")";
        }
    } catch (const SqliteError& error) {
        if (!error.isDamage()) {
            throw; // busy, or a failure that may pass: the index is kept
        }
        return error.what();
    }
    return {};
}

void LibraryIndex::createSchema()
{
    execute(_db, "PRAGMA journal_mode=WAL");
    // Never synced: the index is a cache, and one that a power cut leaves
    // damaged is rebuilt from the files. Syncing at each checkpoint waited
    // on the disk for as long as the first indexing's work itself.
    execute(_db, "PRAGMA synchronous=OFF");
    // Checkpoints of about 4 MB, as with SQLite's default page size: a
    // thousand large pages would leave the first indexing's whole checkpoint
    // to the end, where no reading overlaps it. (An index made before its
    // pages grew keeps its own page size.)
    std::int64_t pageBytes = 0;
    {
        Statement pageSize(_db, "PRAGMA page_size");
        pageSize.step();
        pageBytes = std::max<std::int64_t>(pageSize.integer(0), 512);
    }
    constexpr std::int64_t kCheckpointBytes = 4'000 * 1'024;
    execute(_db,
            ("PRAGMA wal_autocheckpoint=" + std::to_string(kCheckpointBytes / pageBytes)).c_str());
    Transaction transaction(_db);
    // One row a file read, with or without banks: what tells whether it
    // changed since.
    execute(_db, "CREATE TABLE IF NOT EXISTS files ("
                 " path TEXT PRIMARY KEY,"
                 " size INTEGER NOT NULL,"
                 " modified_ns INTEGER NOT NULL,"
                 " inode INTEGER NOT NULL)");
    // One row a bank, in its file's order: its place there (members NULL for
    // a file that is itself the bank), its chain checksum, defects and its
    // 100 patch images in order.
    execute(_db, "CREATE TABLE IF NOT EXISTS banks ("
                 " path TEXT NOT NULL,"
                 " members BLOB,"
                 " number INTEGER NOT NULL,"
                 " dumps_there INTEGER NOT NULL,"
                 " chain_checksum INTEGER NOT NULL,"
                 " has_defects INTEGER NOT NULL,"
                 " patches BLOB NOT NULL)");
    execute(_db, "CREATE INDEX IF NOT EXISTS banks_by_path ON banks (path)");
    execute(_db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    transaction.commit();
}

IndexUpdate LibraryIndex::update(std::span<const std::filesystem::path> folders,
                                 UpdateProgress* progress)
{
    IndexUpdate result;
    WalkResult walk = findBankFiles(folders, progress);
    result.unreadableFolders = std::move(walk.unreadableFolders);
    result.loopsSkipped = walk.loopsSkipped;
    if (progress) {
        progress->filesFound = static_cast<int>(walk.files.size());
    }

    std::map<std::string, FileIdentity, std::less<>> known;
    {
        Statement select(_db, "SELECT path, size, modified_ns, inode FROM files");
        while (select.step()) {
            known.emplace(select.text(0),
                          FileIdentity{static_cast<std::uintmax_t>(select.integer(1)),
                                       select.integer(2),
                                       static_cast<std::uint64_t>(select.integer(3))});
        }
    }

    std::vector<const FoundFile*> toRead;
    for (const FoundFile& found : walk.files) {
        const auto entry = known.find(found.path.native());
        if (entry != known.end() && entry->second == found.identity) {
            ++result.filesUnchanged;
        } else {
            toRead.push_back(&found);
        }
        if (entry != known.end()) {
            known.erase(entry); // what is left at the end is gone
        }
    }
    if (progress) {
        progress->filesDone += result.filesUnchanged;
    }

    Statement storeFile(_db, "INSERT OR REPLACE INTO files VALUES (?, ?, ?, ?)");
    Statement storeBank(_db, "INSERT INTO banks VALUES (?, ?, ?, ?, ?, ?, ?)");
    Statement forgetFile(_db, "DELETE FROM files WHERE path = ?");
    Statement forgetBanks(_db, "DELETE FROM banks WHERE path = ?");
    const auto run = [](Statement& statement, const std::string& path) {
        statement.bind(1, path);
        statement.step();
        statement.reset();
    };
    if (!walk.cancelled && !toRead.empty()) {
        ReadAhead reads(toRead, progress);
        std::size_t filesStored = 0;
        // Each batch is read before the write lock is taken, so other
        // programs wait less.
        for (std::vector<ReadAhead::Read> batch = reads.next(); !batch.empty();
             batch = reads.next()) {
            Transaction transaction(_db);
            for (const ReadAhead::Read& read : batch) {
                if (progress && progress->cancelled()) {
                    break;
                }
                if (progress) {
                    ++progress->filesDone;
                }
                ++filesStored;
                const std::string& path = read.file->path.native();
                run(forgetBanks, path); // those of the file's version before
                if (!read.read.ok()) {
                    // Not kept, so that it is read again next time.
                    run(forgetFile, path);
                    ++result.filesUnreadable;
                    continue;
                }
                storeFile.bind(1, path);
                storeFile.bind(2, static_cast<std::int64_t>(read.identity.size));
                storeFile.bind(3, read.identity.modifiedNs);
                storeFile.bind(4, static_cast<std::int64_t>(read.identity.inode));
                storeFile.step();
                storeFile.reset();
                for (const FileBank& bank : *read.read) {
                    storeBank.bind(1, path);
                    if (bank.place) {
                        const std::string members = joinedMembers(bank.place->members);
                        storeBank.bind(
                            2, std::span(reinterpret_cast<const std::uint8_t*>(members.data()),
                                         members.size()));
                    } else {
                        storeBank.bindNull(2);
                    }
                    storeBank.bind(3,
                                   static_cast<std::int64_t>(bank.place ? bank.place->number : 1));
                    storeBank.bind(
                        4, static_cast<std::int64_t>(bank.place ? bank.place->dumpsThere : 1));
                    storeBank.bind(5, bank.summary.chainChecksum);
                    storeBank.bind(6, bank.summary.hasDefects ? 1 : 0);
                    storeBank.bind(7, bank.summary.patches);
                    storeBank.step();
                    storeBank.reset();
                }
                result.banksRead += static_cast<int>(read.read->size());
                result.filesPassedOver += read.read->empty() ? 1 : 0;
            }
            transaction.commit();
            reads.giveBack(std::move(batch));
            if (progress && progress->cancelled()) {
                break;
            }
        }
        walk.cancelled = filesStored < toRead.size();
    }
    result.cancelled = walk.cancelled;
    _changedSinceCatalog |= result.banksRead + result.filesPassedOver + result.filesUnreadable > 0;
    if (!result.cancelled) {
        Transaction transaction(_db);
        for (const auto& [path, identity] : known) {
            run(forgetBanks, path);
            run(forgetFile, path);
            ++result.filesRemoved;
        }
        transaction.commit();
        _changedSinceCatalog |= result.filesRemoved > 0;
    }
    return result;
}

std::int64_t LibraryIndex::dataVersion() const
{
    Statement version(_db, "PRAGMA data_version");
    version.step();
    return version.integer(0);
}

bool LibraryIndex::catalogIsOutdated() const
{
    return !_catalogVersion || _changedSinceCatalog || dataVersion() != *_catalogVersion;
}

PatchCatalog LibraryIndex::catalog()
{
    // Read first: a change that comes while the catalog is made then shows
    // as one after it, and the next catalog takes it in.
    _catalogVersion = dataVersion();
    _changedSinceCatalog = false;
    PatchCatalog catalog;
    {
        Statement count(_db, "SELECT count(*) FROM banks");
        count.step();
        catalog.reserve(static_cast<std::size_t>(count.integer(0)));
    }
    Statement select(_db, "SELECT path, members, number, dumps_there, chain_checksum,"
                          " has_defects, patches FROM banks ORDER BY path, rowid");
    while (select.step()) {
        const auto patches = select.blob(6);
        if (patches.size() != kBankPatchBytes) {
            throw SqliteError("a bank of the index has " + std::to_string(patches.size()) +
                              " bytes of patches");
        }
        CatalogBank bank{select.text(0), static_cast<std::uint16_t>(select.integer(4)),
                         select.integer(5) != 0};
        if (!select.isNull(1)) {
            bank.place =
                DumpPlace{splitMembers(select.blob(1)), static_cast<std::size_t>(select.integer(2)),
                          static_cast<std::size_t>(select.integer(3))};
        }
        catalog.addBank(std::move(bank), patches.first<kBankPatchBytes>());
    }
    catalog.finish();
    return catalog;
}

} // namespace a3::library
