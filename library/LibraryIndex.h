#pragma once

#include "BankWalk.h"
#include "PatchCatalog.h"

#include <atomic>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace a3::library {

// A database that the index could not use or change, with SQLite's reason.
class LibraryIndexError : public std::runtime_error
{
public:
    explicit LibraryIndexError(const std::string& what, int code = 0)
        : std::runtime_error(what)
        , _code(code)
    {}
    // Another program held the index for longer than one waits: nothing is
    // wrong with it.
    bool isBusy() const;

private:
    int _code; // SQLite's primary result code, or 0
};

// How far an update has come, read from another thread; and its Cancel.
struct UpdateProgress
{
    std::atomic<int> filesDone{0};
    std::atomic<int> filesFound{0}; // known once the walk is over
    std::atomic<bool> cancel{false};
};

struct IndexUpdate
{
    int banksRead = 0; // new or changed since the last update
    int filesUnchanged = 0;
    int filesRemoved = 0;    // gone, or no longer under a folder
    int filesPassedOver = 0; // of an All-Data file's length, but not one
    int filesUnreadable = 0; // not read whole (no permission, never settled): read again next time
    std::vector<UnreadableFolder> unreadableFolders;
    int loopsSkipped = 0;
    bool cancelled = false; // the index keeps what was done so far
};

// What the library knows of the All-Data files under its folders, kept in a
// SQLite database between runs. It is a cache: an index that cannot be used
// (damaged, not a database, of another schema) is replaced by an empty one,
// and the next update fills it again from the files. Programs that use one
// index at once wait for each other.
class LibraryIndex
{
public:
    explicit LibraryIndex(const std::filesystem::path& file);
    ~LibraryIndex();
    LibraryIndex(const LibraryIndex&) = delete;
    LibraryIndex& operator=(const LibraryIndex&) = delete;

    // Why the index found at the file was replaced; empty when it was not.
    const std::string& rebuiltBecause() const { return _rebuiltBecause; }

    // Removes an index (closed) with its journal, for the next to start
    // anew.
    static void remove(const std::filesystem::path& file);

    // Brings the index in line with the files under folders: reads files
    // that are new or whose size, time or inode changed, and forgets files
    // that are gone. Files not under any of the folders are forgotten too,
    // unless the update is cancelled.
    IndexUpdate update(std::span<const std::filesystem::path> folders,
                       UpdateProgress* progress = nullptr);

    // Every bank the index holds, ordered by path.
    PatchCatalog catalog() const;

private:
    void open();
    void close();
    std::string unusableBecause();
    void createSchema();

    std::filesystem::path _file;
    sqlite3* _db = nullptr;
    std::string _rebuiltBecause;
};

} // namespace a3::library
