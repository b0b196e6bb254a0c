#pragma once

#include "BankWalk.h"
#include "PatchCatalog.h"
#include "Sqlite.h"
#include "UpdateProgress.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct sqlite3;

namespace a3::library {

struct IndexUpdate
{
    int banksRead = 0; // in files new or changed since the last update
    int filesUnchanged = 0;
    int filesRemoved = 0;    // gone, or no longer under a folder
    int filesPassedOver = 0; // read, but holding no bank
    int filesUnreadable = 0; // not read whole (no permission, never settled): read again next time
    std::vector<UnreadableFolder> unreadableFolders;
    int loopsSkipped = 0;
    bool cancelled = false; // the index keeps what was done so far
};

// What the library knows of the banks in the files under its folders (each
// dump a file holds is a bank of its own), kept in a SQLite database between
// runs. It is a cache: an index that is damaged (not a database, corrupt) or
// of another schema is replaced by an empty one, and the next update fills it
// again from the files. Programs that use one index at once wait for each
// other, and an index is never replaced while another program has it open:
// that program would go on with the old file, and the two would drift apart.
class LibraryIndex
{
public:
    // Opens the index at file, making it when there is none. knownDamage,
    // when not empty, says why the index was found damaged in use: it is
    // then replaced without looking. Throws SqliteError, isDamage()
    // when the index is damaged but another program has it open.
    explicit LibraryIndex(const std::filesystem::path& file, const std::string& knownDamage = {});
    ~LibraryIndex();
    LibraryIndex(const LibraryIndex&) = delete;
    LibraryIndex& operator=(const LibraryIndex&) = delete;

    // Why the index found at the file was replaced; empty when it was not.
    const std::string& rebuiltBecause() const { return _rebuiltBecause; }

    // Brings the index in line with the files under folders: reads files
    // that are new or whose size, time or inode changed (a file without
    // banks too, so that it is not read again while unchanged), and forgets
    // files that are gone. Files not under any of the folders are forgotten
    // too, unless the update is cancelled.
    IndexUpdate update(std::span<const std::filesystem::path> folders,
                       UpdateProgress* progress = nullptr);

    // Every bank the index holds, ordered by path, then by place in its file.
    PatchCatalog catalog();
    // Whether the index changed since catalog() was last asked for, by this
    // index's updates or by another program's (which an update of this one
    // then finds unchanged), or catalog() was never asked for.
    bool catalogIsOutdated() const;

private:
    class UseLock;

    void open();
    void close();
    std::string unusableBecause();
    void replace(const std::string& reason);
    void createSchema();
    std::int64_t dataVersion() const;

    std::filesystem::path _file;
    std::unique_ptr<UseLock> _useLock; // held while the index is open
    sqlite3* _db = nullptr;
    std::string _rebuiltBecause;
    std::optional<std::int64_t> _catalogVersion; // the index's data version at the last catalog
    bool _changedSinceCatalog = false;
};

} // namespace a3::library
