#include "SoundsDatabase.h"

#include "Sqlite.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sqlite3.h>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace a3::library {
namespace {

// Long enough for another program's change to end.
constexpr int kBusyTimeoutMs = 60'000;

std::span<const std::uint8_t> bytes(const SoundKey& key)
{
    return {key.data(), key.size()};
}

// base, or base with separator and a number after it when base is taken:
// no file is ever overwritten.
std::filesystem::path unusedName(const std::string& base, const char* separator)
{
    std::string name = base;
    std::error_code ignored;
    for (int attempt = 2; std::filesystem::exists(name, ignored) && attempt < 1000; ++attempt) {
        name = base + separator + std::to_string(attempt);
    }
    return name;
}

// "sounds.sqlite3.damaged-2026-12-08-223001", "-2" after it when taken.
std::filesystem::path asideName(const std::filesystem::path& file)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    return unusedName(file.native() + ".damaged-" + stamp, "-");
}

// Why the file at path cannot be a database, by its first bytes: checked
// before SQLite opens it, as SQLite deletes the journal of a database it
// finds shorter than a page, which for a damaged one may hold the only copy
// of the user's latest changes. Empty when it may be one, or is empty (one
// being made).
std::string damageSeenInHeader(const std::filesystem::path& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size == 0) {
        return {};
    }
    std::array<char, 100> header{};
    std::ifstream in(path, std::ios::binary);
    in.read(header.data(), header.size());
    if (in.gcount() != static_cast<std::streamsize>(header.size()) ||
        std::memcmp(header.data(), "SQLite format 3", 16) != 0) {
        return "file is not a database";
    }
    // Stored big-endian; 1 stands for 65536, which two bytes cannot hold.
    const std::uintmax_t stored = std::uintmax_t{static_cast<unsigned char>(header[16])} << 8 |
                                  static_cast<unsigned char>(header[17]);
    const std::uintmax_t pageSize = stored == 1 ? 65536 : stored;
    if (pageSize < 512 || size % pageSize != 0) {
        return "file is cut short";
    }
    return {};
}

// What is said of a sound: the columns every statement that reads it names.
constexpr std::string_view kSoundDataColumns =
    "favourite, favourite_set, rating, rating_set, note, note_set, tags";

// The statements a change, a restore or a merge runs for each of its sounds,
// made once for all of them: making one costs more than running it.
struct SoundRows
{
    explicit SoundRows(sqlite3* db)
        : select(
              db,
              ("SELECT " + std::string(kSoundDataColumns) + " FROM sounds WHERE key = ?").c_str())
        , spelling(db, "SELECT tag FROM tag_spellings WHERE tag = ?")
        , spell(db, "INSERT OR IGNORE INTO tag_spellings (tag) VALUES (?)")
        , write(db, "INSERT INTO sounds (key, patch, chain_id, favourite, favourite_set,"
                    " rating, rating_set, note, note_set, tags)"
                    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                    " ON CONFLICT (key) DO UPDATE SET favourite = excluded.favourite,"
                    " favourite_set = excluded.favourite_set, rating = excluded.rating,"
                    " rating_set = excluded.rating_set, note = excluded.note,"
                    " note_set = excluded.note_set, tags = excluded.tags")
        , remove(db, "DELETE FROM sounds WHERE key = ?")
    {}

    Statement select, spelling, spell, write, remove;
    // The spelling of each tag met, by the tag in lower case: within the
    // transaction no one else adds one.
    std::unordered_map<std::string, std::string> spellings;
    std::unordered_set<std::string> spellingsKept; // in lower case
};

std::string lowerAscii(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lowered;
}

void sortTags(std::vector<std::string>& tags)
{
    std::ranges::sort(tags, [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                const auto lower = [](char c) {
                    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
                };
                return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
            });
    });
}

// Tags are kept in their sound's row, separated by spaces, which no tag
// holds.
std::string tagsText(const std::vector<std::string>& tags)
{
    std::string text;
    for (const std::string& tag : tags) {
        text += text.empty() ? tag : " " + tag;
    }
    return text;
}

std::vector<std::string> tagsFromText(std::string_view text)
{
    std::vector<std::string> tags;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) {
            tags.emplace_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    sortTags(tags); // as an upgrade may not have left them
    return tags;
}

// What is said of a sound, read from column first of a row on, as
// kSoundDataColumns names them.
SoundData soundDataAt(Statement& row, int first)
{
    SoundData data;
    data.favourite = static_cast<Favourite>(row.integer(first));
    data.favouriteSet = row.integer(first + 1);
    data.rating = static_cast<int>(row.integer(first + 2));
    data.ratingSet = row.integer(first + 3);
    data.note = row.text(first + 4);
    data.noteSet = row.integer(first + 5);
    data.tags = tagsFromText(row.text(first + 6));
    return data;
}

// The sound's data as the database holds it; none when it holds none.
std::optional<SoundData> readData(SoundRows& rows, const SoundKey& key)
{
    Statement& select = rows.select;
    select.reset();
    select.bind(1, bytes(key));
    if (!select.step()) {
        return std::nullopt;
    }
    SoundData data = soundDataAt(select, 0);
    select.reset();
    return data;
}

// The spelling a tag was first typed in, when it was typed before.
std::string spellingInUse(SoundRows& rows, const std::string& tag)
{
    const auto [known, added] = rows.spellings.try_emplace(lowerAscii(tag));
    if (added) {
        Statement& select = rows.spelling;
        select.reset();
        select.bind(1, tag);
        known->second = select.step() ? select.text(0) : tag;
        select.reset();
    }
    return known->second;
}

// Writes the sound's data; a sound never said of is not kept.
void writeSound(SoundRows& rows, const Sound& sound, const SoundData& data)
{
    const SoundKey key = sound.key();
    if (data.neverSaid()) {
        // As an undo of its first change leaves it: kept, it would be
        // exported and imported as a sound of the user's.
        rows.remove.reset();
        rows.remove.bind(1, bytes(key));
        rows.remove.step();
        return;
    }
    for (const std::string& tag : data.tags) {
        // Each spelling is kept once a transaction, for the tags typed later.
        if (rows.spellingsKept.insert(lowerAscii(tag)).second) {
            rows.spell.reset();
            rows.spell.bind(1, tag);
            rows.spell.step();
        }
    }
    // The patch and chain ID of the first meeting stay: they only tell
    // an export what the sound is.
    Statement& write = rows.write;
    write.reset();
    write.bind(1, bytes(key));
    write.bind(2, std::span<const std::uint8_t>(sound.patch));
    write.bind(3, static_cast<std::int64_t>(sound.chainId));
    write.bind(4, static_cast<std::int64_t>(data.favourite));
    write.bind(5, data.favouriteSet);
    write.bind(6, static_cast<std::int64_t>(data.rating));
    write.bind(7, data.ratingSet);
    write.bind(8, data.note);
    write.bind(9, data.noteSet);
    write.bind(10, tagsText(data.tags));
    write.step();
}

SoundData changed(SoundRows& rows, SoundData data, const SoundChange& change, SetTime now)
{
    if (change.favourite) {
        data.favourite = *change.favourite;
        data.favouriteSet = now;
    }
    if (change.rating) {
        data.rating = *change.rating;
        data.ratingSet = now;
    }
    if (change.note) {
        data.note = *change.note;
        data.noteSet = now;
    }
    std::erase_if(data.tags, [&](const std::string& tag) {
        return std::ranges::any_of(
            change.removeTags, [&](const std::string& removed) { return sameTag(tag, removed); });
    });
    for (const std::string& tag : change.addTags) {
        if (!data.hasTag(tag)) {
            data.tags.push_back(spellingInUse(rows, tag));
        }
    }
    sortTags(data.tags);
    return data;
}

std::int64_t schemaOf(sqlite3* db)
{
    Statement version(db, "PRAGMA user_version");
    version.step();
    return version.integer(0);
}

void makeSchemaOne(sqlite3* db)
{
    execute(db, "CREATE TABLE sounds ("
                " key BLOB PRIMARY KEY,"
                " patch BLOB NOT NULL,"
                " chain_id INTEGER NOT NULL,"
                " favourite INTEGER NOT NULL DEFAULT 0,"
                " favourite_set INTEGER NOT NULL DEFAULT 0,"
                " rating INTEGER NOT NULL DEFAULT 0,"
                " rating_set INTEGER NOT NULL DEFAULT 0,"
                " note TEXT NOT NULL DEFAULT '',"
                " note_set INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID");
    execute(db, "CREATE TABLE tags ("
                " sound BLOB NOT NULL REFERENCES sounds (key),"
                " tag TEXT NOT NULL COLLATE NOCASE,"
                " PRIMARY KEY (sound, tag)) WITHOUT ROWID");
    execute(db, "CREATE INDEX tags_by_name ON tags (tag)");
}

// Sets and smart lists. An entry keeps its patch as added, and its sound's
// key, by which a set holds each sound once.
void makeSchemaTwo(sqlite3* db)
{
    execute(db, "CREATE TABLE sets ("
                " id INTEGER PRIMARY KEY,"
                " name TEXT NOT NULL UNIQUE COLLATE NOCASE)");
    execute(db, "CREATE TABLE set_entries ("
                " set_id INTEGER NOT NULL REFERENCES sets (id),"
                " position INTEGER NOT NULL,"
                " patch BLOB NOT NULL,"
                " chain_id INTEGER NOT NULL,"
                " sound BLOB NOT NULL,"
                " PRIMARY KEY (set_id, position),"
                " UNIQUE (set_id, sound)) WITHOUT ROWID");
    execute(db, "CREATE TABLE smart_lists ("
                " id INTEGER PRIMARY KEY,"
                " name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                " query TEXT NOT NULL)");
}

// Tags in their sound's row, and every spelling typed in a table of its
// own: an import of 100,000 sounds then writes one row a sound where it
// wrote four, each of them into two trees.
void makeSchemaThree(sqlite3* db)
{
    execute(db, "ALTER TABLE sounds ADD COLUMN tags TEXT NOT NULL DEFAULT ''");
    execute(db, "CREATE TABLE tag_spellings (tag TEXT PRIMARY KEY COLLATE NOCASE) WITHOUT ROWID");
    execute(db, "INSERT OR IGNORE INTO tag_spellings (tag) SELECT tag FROM tags");
    execute(db, "UPDATE sounds SET tags = coalesce((SELECT group_concat(tag, ' ') FROM tags"
                " WHERE tags.sound = sounds.key), '')");
    execute(db, "DROP TABLE tags");
}

std::vector<StoredSound> readSounds(sqlite3* db)
{
    std::vector<StoredSound> sounds;
    Statement select(db, ("SELECT patch, chain_id, " + std::string(kSoundDataColumns) +
                          " FROM sounds ORDER BY key")
                             .c_str());
    while (select.step()) {
        const auto patch = select.blob(0);
        if (patch.size() != kPatchSize) {
            continue;
        }
        StoredSound& stored = sounds.emplace_back();
        std::ranges::copy(patch, stored.sound.patch.begin());
        stored.sound.chainId = static_cast<std::uint16_t>(select.integer(1));
        stored.data = soundDataAt(select, 2);
    }
    return sounds;
}

std::string inQuotes(std::string_view name)
{
    return "\u201C" + std::string(name) + "\u201D";
}

// The set's name; none when there is no such set.
std::optional<std::string> setName(sqlite3* db, SetId set)
{
    Statement select(db, "SELECT name FROM sets WHERE id = ?");
    select.bind(1, set);
    return select.step() ? std::optional(select.text(0)) : std::nullopt;
}

Failure noSuchSet()
{
    return Failure{"there is no such set: another program may have deleted it"};
}

// Why name cannot be given to a row of table (sets or smart_lists) other
// than id; empty when it can.
std::string whyNameTaken(sqlite3* db, const char* table, const char* what, std::string_view name,
                         std::int64_t id)
{
    if (Outcome checked = checkSetName(name); !checked.ok()) {
        return checked.failure().reason;
    }
    Statement same(
        db, (std::string("SELECT name FROM ") + table + " WHERE name = ? AND id != ?").c_str());
    same.bind(1, std::string(name));
    same.bind(2, id);
    return same.step() ? std::string(what) + " named " + inQuotes(same.text(0)) + " exists already"
                       : std::string();
}

std::size_t rowCount(sqlite3* db, const char* table)
{
    Statement count(db, (std::string("SELECT COUNT(*) FROM ") + table).c_str());
    count.step();
    return static_cast<std::size_t>(count.integer(0));
}

std::vector<Sound> readEntries(sqlite3* db, SetId set)
{
    std::vector<Sound> entries;
    Statement select(db, "SELECT patch, chain_id FROM set_entries WHERE set_id = ?"
                         " ORDER BY position");
    select.bind(1, set);
    while (select.step()) {
        const auto patch = select.blob(0);
        Sound& sound = entries.emplace_back();
        std::ranges::copy(patch.first(std::min(patch.size(), kPatchSize)), sound.patch.begin());
        sound.chainId = static_cast<std::uint16_t>(select.integer(1));
    }
    return entries;
}

void writeEntries(sqlite3* db, SetId set, std::span<const Sound> entries)
{
    Statement forget(db, "DELETE FROM set_entries WHERE set_id = ?");
    forget.bind(1, set);
    forget.step();
    Statement insert(db, "INSERT INTO set_entries (set_id, position, patch, chain_id, sound)"
                         " VALUES (?, ?, ?, ?, ?)");
    for (std::size_t k = 0; k < entries.size(); ++k) {
        insert.bind(1, set);
        insert.bind(2, static_cast<std::int64_t>(k));
        insert.bind(3, std::span<const std::uint8_t>(entries[k].patch));
        insert.bind(4, static_cast<std::int64_t>(entries[k].chainId));
        insert.bind(5, bytes(entries[k].key()));
        insert.step();
        insert.reset();
    }
}

// Appends to entries (at most kMostSoundsInASet) those of sounds it lacks,
// before position at; gives how many.
Result<std::size_t> added(std::vector<Sound>& entries, std::span<const Sound> sounds,
                          std::size_t at, std::string_view name)
{
    std::unordered_set<SoundKey, SoundKeyHash> held;
    for (const Sound& entry : entries) {
        held.insert(entry.key());
    }
    std::vector<Sound> fresh;
    for (const Sound& sound : sounds) {
        if (held.insert(sound.key()).second) {
            fresh.push_back(sound);
        }
    }
    if (entries.size() + fresh.size() > kMostSoundsInASet) {
        return Failure{"a set holds at most " + std::to_string(kMostSoundsInASet) + " sounds; " +
                       inQuotes(name) + " holds " + std::to_string(entries.size()) + " and " +
                       std::to_string(fresh.size()) + " more were to go in"};
    }
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), fresh.begin(), fresh.end());
    return fresh.size();
}

Outcome checkPositions(std::span<const std::size_t> positions, std::size_t count,
                       std::string_view name)
{
    for (const std::size_t position : positions) {
        if (position >= count) {
            return Failure{inQuotes(name) + " holds " + std::to_string(count) +
                           " sounds: there is no entry " + std::to_string(position + 1)};
        }
    }
    return {};
}

// Whether the set's entries at positions are to go.
std::vector<bool> marked(std::span<const std::size_t> positions, std::size_t count)
{
    std::vector<bool> marks(count, false);
    for (const std::size_t position : positions) {
        marks[position] = true;
    }
    return marks;
}

template <typename T>
struct AsResult
{
    using type = Result<T>;
};

template <typename T>
struct AsResult<Result<T>>
{
    using type = Result<T>;
};

} // namespace

SoundsDatabase::SoundsDatabase(std::filesystem::path file)
    : _file(std::move(file))
{}

SoundsDatabase::~SoundsDatabase()
{
    closeConnection();
}

Result<std::unique_ptr<SoundsDatabase>> SoundsDatabase::open(const std::filesystem::path& file)
{
    std::unique_ptr<SoundsDatabase> database(new SoundsDatabase(file));
    std::error_code madeFolder;
    std::filesystem::create_directories(file.parent_path(), madeFolder);
    if (madeFolder) {
        return Failure{file.parent_path().string() + ": " + madeFolder.message()};
    }
    if (const std::string why = damageSeenInHeader(file); !why.empty()) {
        if (Outcome moved = database->moveAside(why); !moved.ok()) {
            return moved.failure();
        }
    }
    if (Outcome opened = database->openConnection(); !opened.ok()) {
        return opened.failure();
    }
    try {
        if (const std::string why = database->damage(); !why.empty()) {
            database->closeConnection();
            if (Outcome moved = database->moveAside(why); !moved.ok()) {
                return moved.failure();
            }
            if (Outcome opened = database->openConnection(); !opened.ok()) {
                return opened.failure();
            }
        }
    } catch (const SqliteError& error) {
        return Failure{file.string() + ": " + error.what()};
    }
    if (Outcome made = database->createSchema(); !made.ok()) {
        return made.failure();
    }
    return database;
}

Outcome SoundsDatabase::openConnection()
{
    if (sqlite3_open_v2(_file.c_str(), &_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string reason = _db ? sqlite3_errmsg(_db) : "out of memory";
        closeConnection();
        return Failure{_file.string() + ": " + reason};
    }
    sqlite3_busy_timeout(_db, kBusyTimeoutMs);
    return {};
}

void SoundsDatabase::closeConnection()
{
    sqlite3_close_v2(std::exchange(_db, nullptr));
}

std::string SoundsDatabase::damage()
{
    try {
        Statement check(_db, "PRAGMA quick_check(1)");
        if (check.step() && check.text(0) != "ok") {
            return check.text(0);
        }
    } catch (const SqliteError& error) {
        if (!error.isDamage()) {
            throw;
        }
        return error.what();
    }
    return {};
}

Outcome SoundsDatabase::moveAside(const std::string& why)
{
    const std::filesystem::path aside = asideName(_file);
    if (std::rename(_file.c_str(), aside.c_str()) != 0) {
        return Failure{_file.string() + " is damaged (" + why +
                       ") and cannot be moved aside: " + std::strerror(errno)};
    }
    // Its journal holds changes not yet in the file: it goes along.
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        std::rename((_file.native() + suffix).c_str(), (aside.native() + suffix).c_str());
    }
    _movedAside = MovedAside{aside, why};
    return {};
}

Outcome SoundsDatabase::createSchema()
{
    // Two programs making the database at once: the change to WAL takes the
    // whole file, and SQLite refuses it at once, without waiting, while the
    // other program reads. Tried again until the other is done.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        try {
            return makeSchema();
        } catch (const SqliteError& error) {
            if (!error.isBusy() || std::chrono::steady_clock::now() > deadline) {
                return Failure{_file.string() + ": " + error.what()};
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

Outcome SoundsDatabase::makeSchema()
{
    const auto newer = [&](std::int64_t schema) {
        return Failure{_file.string() +
                       " was made by a later version of A3 Librarian"
                       " (sounds schema " +
                       std::to_string(schema) + "); this one reads schema " +
                       std::to_string(kSchemaVersion) + " only, and leaves it as it is"};
    };
    if (const std::int64_t schema = schemaOf(_db); schema > kSchemaVersion) {
        return newer(schema);
    }
    execute(_db, "PRAGMA journal_mode=WAL");
    // Each change is on the disk before the user is told it is made.
    execute(_db, "PRAGMA synchronous=FULL");
    Transaction transaction(_db);
    // Asked again under the write lock: another program may have made or
    // upgraded the schema meanwhile, and then this one leaves it be.
    const std::int64_t schema = schemaOf(_db);
    if (schema > kSchemaVersion) {
        return newer(schema);
    }
    if (schema > 0 && schema < kSchemaVersion) {
        if (Outcome copied = copyBeforeUpgrade(); !copied.ok()) {
            return copied;
        }
    }
    if (schema < 1) {
        makeSchemaOne(_db);
    }
    if (schema < 2) {
        makeSchemaTwo(_db);
    }
    if (schema < 3) {
        makeSchemaThree(_db);
    }
    if (schema < kSchemaVersion) {
        execute(_db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    }
    transaction.commit();
    return {};
}

Outcome SoundsDatabase::copyBeforeUpgrade()
{
    const std::filesystem::path copy =
        unusedName(_file.native() + ".before-schema-" + std::to_string(kSchemaVersion), "-");
    // Another connection reads the database as last committed, which no
    // program can change while this one holds the write lock.
    sqlite3* reader = nullptr;
    std::string why;
    if (sqlite3_open_v2(_file.c_str(), &reader, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        why = reader ? sqlite3_errmsg(reader) : "out of memory";
    } else {
        sqlite3_busy_timeout(reader, kBusyTimeoutMs);
        try {
            // The copy is on the disk before the upgrade begins.
            execute(reader, "PRAGMA synchronous=FULL");
            Statement vacuum(reader, "VACUUM INTO ?");
            vacuum.bind(1, copy.string());
            vacuum.step();
        } catch (const SqliteError& error) {
            why = error.what();
        }
    }
    sqlite3_close_v2(reader);
    if (!why.empty()) {
        std::error_code ignored;
        std::filesystem::remove(copy, ignored); // a copy cut short is none
        return Failure{_file.string() + " was not upgraded to sounds schema " +
                       std::to_string(kSchemaVersion) + ", as no copy of it could be kept (" + why +
                       "); it is left as it is"};
    }
    _copiedBeforeUpgrade = copy;
    return {};
}

template <typename Work>
auto SoundsDatabase::guarded(Work work)
{
    using Given = typename AsResult<std::invoke_result_t<Work>>::type;
    if (!_db) {
        // Not made anew after damage, for a failure that may have passed.
        if (Outcome reopened = reopen(); !reopened.ok()) {
            return Given(reopened.failure());
        }
    }
    std::string damaged;
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
            work();
            return Given();
        } else {
            return Given(work());
        }
    } catch (const SqliteError& error) {
        if (!error.isDamage()) {
            return Given(Failure{error.what()});
        }
        damaged = error.what();
    }
    // Damaged in use: kept for the user, and a new one started, so that
    // what the user says from now on is kept.
    closeConnection();
    if (Outcome moved = moveAside(damaged); !moved.ok()) {
        return Given(moved.failure());
    }
    std::string reason = "the sounds database is damaged (" + damaged + "): it was moved to " +
                         _movedAside->to.string() + " and a new one started";
    if (Outcome reopened = reopen(); !reopened.ok()) {
        return Given(Failure{reason + ", which failed: " + reopened.failure().reason});
    }
    return Given(Failure{reason});
}

Outcome SoundsDatabase::reopen()
{
    Outcome opened = openConnection();
    if (opened.ok()) {
        opened = createSchema();
        if (!opened.ok()) {
            closeConnection();
        }
    }
    return opened;
}

Result<bool> SoundsDatabase::changedElsewhere()
{
    return guarded([&] {
        Statement version(_db, "PRAGMA data_version");
        version.step();
        return version.integer(0) != _snapshotVersion;
    });
}

Result<SoundsSnapshot> SoundsDatabase::snapshot()
{
    return guarded([&] {
        // One transaction, so that a change made meanwhile shows whole or
        // not at all, and the version read is the one read.
        Transaction reading(_db);
        {
            Statement version(_db, "PRAGMA data_version");
            version.step();
            _snapshotVersion = version.integer(0);
        }
        SoundsSnapshot snapshot;
        Statement sounds(
            _db, ("SELECT key, " + std::string(kSoundDataColumns) + " FROM sounds").c_str());
        while (sounds.step()) {
            const auto key = sounds.blob(0);
            if (key.size() != kSoundKeySize) {
                continue; // written by no version of ours
            }
            SoundKey soundKey{};
            std::ranges::copy(key, soundKey.begin());
            snapshot[soundKey] = soundDataAt(sounds, 1);
        }
        reading.commit();
        return snapshot;
    });
}

Result<std::vector<StoredSound>> SoundsDatabase::all()
{
    return guarded([&] { return readSounds(_db); });
}

Result<SoundsContent> SoundsDatabase::content()
{
    return guarded([&] {
        Transaction reading(_db);
        SoundsContent content;
        content.sounds = readSounds(_db);
        Statement sets(_db, "SELECT id, name FROM sets ORDER BY name, id");
        while (sets.step()) {
            content.sets.push_back({sets.text(1), readEntries(_db, sets.integer(0))});
        }
        Statement lists(_db, "SELECT id, name, query FROM smart_lists ORDER BY name, id");
        while (lists.step()) {
            content.smartLists.push_back({lists.integer(0), lists.text(1), lists.text(2)});
        }
        reading.commit();
        return content;
    });
}

Result<std::vector<std::string>> SoundsDatabase::tagsInUse()
{
    return guarded([&] {
        std::vector<std::string> tags;
        Statement select(_db, "SELECT tags FROM sounds WHERE tags != ''");
        while (select.step()) {
            for (std::string& tag : tagsFromText(select.text(0))) {
                if (std::ranges::none_of(tags,
                                         [&](const auto& held) { return sameTag(held, tag); })) {
                    tags.push_back(std::move(tag));
                }
            }
        }
        sortTags(tags);
        return tags;
    });
}

Result<SoundsDatabase::Changed> SoundsDatabase::change(std::span<const Sound> sounds,
                                                       const SoundChange& change, SetTime now)
{
    if (Outcome checked = checkChange(change); !checked.ok()) {
        return checked.failure();
    }
    return guarded([&] {
        Changed made;
        Transaction transaction(_db);
        SoundRows rows(_db);
        for (const Sound& sound : sounds) {
            SoundData data = readData(rows, sound.key()).value_or(SoundData{});
            SoundData after = changed(rows, data, change, now);
            writeSound(rows, sound, after);
            made.before.push_back({sound, std::move(data)});
            made.after.push_back({sound, std::move(after)});
        }
        transaction.commit();
        return made;
    });
}

Outcome SoundsDatabase::restore(std::span<const StoredSound> sounds)
{
    return guarded([&] {
        Transaction transaction(_db);
        SoundRows rows(_db);
        for (const StoredSound& stored : sounds) {
            writeSound(rows, stored.sound, stored.data);
        }
        transaction.commit();
    });
}

Result<MergeSummary> SoundsDatabase::merge(const SoundsContent& content)
{
    for (const NamedSet& set : content.sets) {
        if (Outcome checked = checkSetName(set.name); !checked.ok()) {
            return checked.failure();
        }
    }
    for (const SmartList& list : content.smartLists) {
        if (Outcome checked = checkSetName(list.name); !checked.ok()) {
            return checked.failure();
        }
        if (Outcome checked = checkSmartListQuery(list.query); !checked.ok()) {
            return checked.failure();
        }
    }
    return guarded([&]() -> Result<MergeSummary> {
        MergeSummary summary;
        Transaction transaction(_db);
        SoundRows rows(_db);
        for (const StoredSound& given : content.sounds) {
            ++summary.soundsGiven;
            const std::optional<SoundData> held = readData(rows, given.sound.key());
            summary.soundsNew += held || given.data.neverSaid() ? 0 : 1;
            SoundData data = held.value_or(SoundData{});
            if (given.data.favouriteSet > data.favouriteSet) {
                data.favourite = given.data.favourite;
                data.favouriteSet = given.data.favouriteSet;
                ++summary.decisionsTaken;
            }
            if (given.data.ratingSet > data.ratingSet) {
                data.rating = given.data.rating;
                data.ratingSet = given.data.ratingSet;
                ++summary.decisionsTaken;
            }
            if (given.data.noteSet > data.noteSet) {
                data.note = given.data.note;
                data.noteSet = given.data.noteSet;
                ++summary.decisionsTaken;
            }
            for (const std::string& tag : given.data.tags) {
                if (!data.hasTag(tag)) {
                    data.tags.push_back(spellingInUse(rows, tag));
                    ++summary.tagsAdded;
                }
            }
            sortTags(data.tags);
            writeSound(rows, given.sound, data);
        }
        for (const NamedSet& given : content.sets) {
            Statement same(_db, "SELECT id, name FROM sets WHERE name = ?");
            same.bind(1, given.name);
            SetId set = 0;
            std::string name = given.name;
            if (same.step()) {
                set = same.integer(0);
                name = same.text(1);
            } else {
                if (rowCount(_db, "sets") >= kMostSets) {
                    return Failure{"there would be more than " + std::to_string(kMostSets) +
                                   " sets, the most kept"};
                }
                Statement insert(_db, "INSERT INTO sets (name) VALUES (?)");
                insert.bind(1, given.name);
                insert.step();
                set = sqlite3_last_insert_rowid(_db);
                ++summary.setsNew;
            }
            std::vector<Sound> entries = readEntries(_db, set);
            const Result<std::size_t> count = added(entries, given.sounds, entries.size(), name);
            if (!count.ok()) {
                return count.failure();
            }
            if (*count > 0) {
                writeEntries(_db, set, entries);
            }
            summary.setEntriesAdded += *count;
        }
        for (const SmartList& given : content.smartLists) {
            Statement same(_db, "SELECT 1 FROM smart_lists WHERE name = ?");
            same.bind(1, given.name);
            if (same.step()) {
                continue;
            }
            if (rowCount(_db, "smart_lists") >= kMostSmartLists) {
                return Failure{"there would be more than " + std::to_string(kMostSmartLists) +
                               " smart lists, the most kept"};
            }
            Statement insert(_db, "INSERT INTO smart_lists (name, query) VALUES (?, ?)");
            insert.bind(1, given.name);
            insert.bind(2, given.query);
            insert.step();
            ++summary.smartListsNew;
        }
        transaction.commit();
        return summary;
    });
}

Result<std::vector<SetSummary>> SoundsDatabase::sets()
{
    return guarded([&] {
        std::vector<SetSummary> sets;
        Statement select(_db, "SELECT id, name, (SELECT COUNT(*) FROM set_entries"
                              " WHERE set_id = sets.id) FROM sets ORDER BY name, id");
        while (select.step()) {
            sets.push_back(
                {select.integer(0), select.text(1), static_cast<std::size_t>(select.integer(2))});
        }
        return sets;
    });
}

Result<std::vector<Sound>> SoundsDatabase::setEntries(SetId set)
{
    return guarded([&]() -> Result<std::vector<Sound>> {
        Transaction reading(_db);
        if (!setName(_db, set)) {
            return noSuchSet();
        }
        std::vector<Sound> entries = readEntries(_db, set);
        reading.commit();
        return entries;
    });
}

Result<SetId> SoundsDatabase::createSet(std::string_view name)
{
    return guarded([&]() -> Result<SetId> {
        Transaction transaction(_db);
        if (std::string why = whyNameTaken(_db, "sets", "a set", name, 0); !why.empty()) {
            return Failure{why};
        }
        if (rowCount(_db, "sets") >= kMostSets) {
            return Failure{"there are " + std::to_string(kMostSets) + " sets, the most kept"};
        }
        Statement insert(_db, "INSERT INTO sets (name) VALUES (?)");
        insert.bind(1, std::string(name));
        insert.step();
        const SetId made = sqlite3_last_insert_rowid(_db);
        transaction.commit();
        return made;
    });
}

Outcome SoundsDatabase::renameSet(SetId set, std::string_view name)
{
    return guarded([&]() -> Outcome {
        Transaction transaction(_db);
        if (!setName(_db, set)) {
            return noSuchSet();
        }
        if (std::string why = whyNameTaken(_db, "sets", "a set", name, set); !why.empty()) {
            return Failure{why};
        }
        Statement update(_db, "UPDATE sets SET name = ? WHERE id = ?");
        update.bind(1, std::string(name));
        update.bind(2, set);
        update.step();
        transaction.commit();
        return {};
    });
}

Outcome SoundsDatabase::deleteSet(SetId set)
{
    return guarded([&]() -> Outcome {
        Transaction transaction(_db);
        if (!setName(_db, set)) {
            return noSuchSet();
        }
        writeEntries(_db, set, {});
        Statement forget(_db, "DELETE FROM sets WHERE id = ?");
        forget.bind(1, set);
        forget.step();
        transaction.commit();
        return {};
    });
}

template <typename Change>
auto SoundsDatabase::changeEntries(SetId set, Change change)
{
    using Given = std::invoke_result_t<Change, std::vector<Sound>&, const std::string&>;
    return guarded([&]() -> Given {
        Transaction transaction(_db);
        const std::optional<std::string> name = setName(_db, set);
        if (!name) {
            return noSuchSet();
        }
        std::vector<Sound> entries = readEntries(_db, set);
        Given made = change(entries, *name);
        if (made.ok()) {
            writeEntries(_db, set, entries);
            transaction.commit();
        }
        return made;
    });
}

Result<std::size_t> SoundsDatabase::addToSet(SetId set, std::span<const Sound> sounds,
                                             std::optional<std::size_t> at)
{
    return changeEntries(
        set, [&](std::vector<Sound>& entries, const std::string& name) -> Result<std::size_t> {
            if (at && *at > entries.size()) {
                return Failure{inQuotes(name) + " holds " + std::to_string(entries.size()) +
                               " sounds: nothing can go before entry " + std::to_string(*at + 1)};
            }
            return added(entries, sounds, at.value_or(entries.size()), name);
        });
}

Outcome SoundsDatabase::removeFromSet(SetId set, std::span<const std::size_t> positions)
{
    return changeEntries(set, [&](std::vector<Sound>& entries, const std::string& name) {
        if (Outcome checked = checkPositions(positions, entries.size(), name); !checked.ok()) {
            return checked;
        }
        const std::vector<bool> going = marked(positions, entries.size());
        std::vector<Sound> kept;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            if (!going[k]) {
                kept.push_back(entries[k]);
            }
        }
        entries = std::move(kept);
        return Outcome();
    });
}

Result<std::size_t> SoundsDatabase::moveInSet(SetId set, std::span<const std::size_t> positions,
                                              std::size_t to)
{
    return changeEntries(
        set, [&](std::vector<Sound>& entries, const std::string& name) -> Result<std::size_t> {
            if (Outcome checked = checkPositions(positions, entries.size(), name); !checked.ok()) {
                return checked.failure();
            }
            if (to > entries.size()) {
                return Failure{inQuotes(name) + " holds " + std::to_string(entries.size()) +
                               " sounds: nothing can go before entry " + std::to_string(to + 1)};
            }
            const std::vector<bool> moving = marked(positions, entries.size());
            std::vector<Sound> moved, staying;
            std::size_t before = 0; // of those staying, how many stay before to
            for (std::size_t k = 0; k < entries.size(); ++k) {
                (moving[k] ? moved : staying).push_back(entries[k]);
                before += !moving[k] && k < to ? 1 : 0;
            }
            staying.insert(staying.begin() + static_cast<std::ptrdiff_t>(before), moved.begin(),
                           moved.end());
            entries = std::move(staying);
            return before;
        });
}

Result<std::vector<SmartList>> SoundsDatabase::smartLists()
{
    return guarded([&] {
        std::vector<SmartList> lists;
        Statement select(_db, "SELECT id, name, query FROM smart_lists ORDER BY name, id");
        while (select.step()) {
            lists.push_back({select.integer(0), select.text(1), select.text(2)});
        }
        return lists;
    });
}

Result<SmartListId> SoundsDatabase::saveSmartList(std::string_view name, std::string_view query)
{
    if (Outcome checked = checkSmartListQuery(query); !checked.ok()) {
        return checked.failure();
    }
    return guarded([&]() -> Result<SmartListId> {
        Transaction transaction(_db);
        if (std::string why = whyNameTaken(_db, "smart_lists", "a smart list", name, 0);
            !why.empty()) {
            return Failure{why};
        }
        if (rowCount(_db, "smart_lists") >= kMostSmartLists) {
            return Failure{"there are " + std::to_string(kMostSmartLists) +
                           " smart lists, the most kept"};
        }
        Statement insert(_db, "INSERT INTO smart_lists (name, query) VALUES (?, ?)");
        insert.bind(1, std::string(name));
        insert.bind(2, std::string(query));
        insert.step();
        const SmartListId made = sqlite3_last_insert_rowid(_db);
        transaction.commit();
        return made;
    });
}

Outcome SoundsDatabase::renameSmartList(SmartListId list, std::string_view name)
{
    return guarded([&]() -> Outcome {
        Transaction transaction(_db);
        if (std::string why = whyNameTaken(_db, "smart_lists", "a smart list", name, list);
            !why.empty()) {
            return Failure{why};
        }
        Statement update(_db, "UPDATE smart_lists SET name = ? WHERE id = ?");
        update.bind(1, std::string(name));
        update.bind(2, list);
        update.step();
        if (sqlite3_changes(_db) == 0) {
            return Failure{"there is no such smart list: another program may have deleted it"};
        }
        transaction.commit();
        return {};
    });
}

Outcome SoundsDatabase::deleteSmartList(SmartListId list)
{
    return guarded([&]() -> Outcome {
        Transaction transaction(_db);
        Statement forget(_db, "DELETE FROM smart_lists WHERE id = ?");
        forget.bind(1, list);
        forget.step();
        if (sqlite3_changes(_db) == 0) {
            return Failure{"there is no such smart list: another program may have deleted it"};
        }
        transaction.commit();
        return {};
    });
}

} // namespace a3::library
