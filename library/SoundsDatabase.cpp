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
#include <utility>

namespace a3::library {
namespace {

// Long enough for another program's change to end.
constexpr int kBusyTimeoutMs = 60'000;

std::span<const std::uint8_t> bytes(const SoundKey& key)
{
    return {key.data(), key.size()};
}

// "sounds.sqlite3.damaged-2026-12-08-223001", "-2" after it when taken.
std::filesystem::path asideName(const std::filesystem::path& file)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    const std::string base = file.native() + ".damaged-" + stamp;
    std::string name = base;
    std::error_code ignored;
    for (int attempt = 2; std::filesystem::exists(name, ignored) && attempt < 1000; ++attempt) {
        name = base + "-" + std::to_string(attempt);
    }
    return name;
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
    const auto high = static_cast<unsigned char>(header[16]);
    const auto low = static_cast<unsigned char>(header[17]);
    const std::uintmax_t pageSize = (high << 8 | low) == 1 ? 65536 : (high << 8 | low);
    if (pageSize < 512 || size % pageSize != 0) {
        return "file is cut short";
    }
    return {};
}

// The sound's data as the database holds it; none when it holds none.
std::optional<SoundData> readData(sqlite3* db, const SoundKey& key)
{
    Statement select(db, "SELECT favourite, favourite_set, rating, rating_set, note, note_set"
                         " FROM sounds WHERE key = ?");
    select.bind(1, bytes(key));
    if (!select.step()) {
        return std::nullopt;
    }
    SoundData data;
    data.favourite = static_cast<Favourite>(select.integer(0));
    data.favouriteSet = select.integer(1);
    data.rating = static_cast<int>(select.integer(2));
    data.ratingSet = select.integer(3);
    data.note = select.text(4);
    data.noteSet = select.integer(5);
    Statement tags(db, "SELECT tag FROM tags WHERE sound = ? ORDER BY tag");
    tags.bind(1, bytes(key));
    while (tags.step()) {
        data.tags.push_back(tags.text(0));
    }
    return data;
}

// The spelling a tag was first typed in, when some sound holds it already.
std::string spellingInUse(sqlite3* db, const std::string& tag)
{
    Statement select(db, "SELECT tag FROM tags WHERE tag = ? LIMIT 1");
    select.bind(1, tag);
    return select.step() ? select.text(0) : tag;
}

// Writes the sound's data; its tags only when they differ from tagsHeld,
// those the database holds (always when not given): rewriting them costs
// more than all the rest.
void writeSound(sqlite3* db, const Sound& sound, const SoundData& data,
                const std::vector<std::string>* tagsHeld = nullptr)
{
    const SoundKey key = sound.key();
    // The patch and chain ID of the first meeting stay: they only tell
    // an export what the sound is.
    Statement insert(db, "INSERT INTO sounds (key, patch, chain_id) VALUES (?, ?, ?)"
                         " ON CONFLICT DO NOTHING");
    insert.bind(1, bytes(key));
    insert.bind(2, std::span<const std::uint8_t>(sound.patch));
    insert.bind(3, static_cast<std::int64_t>(sound.chainId));
    insert.step();
    Statement update(db, "UPDATE sounds SET favourite = ?, favourite_set = ?, rating = ?,"
                         " rating_set = ?, note = ?, note_set = ? WHERE key = ?");
    update.bind(1, static_cast<std::int64_t>(data.favourite));
    update.bind(2, data.favouriteSet);
    update.bind(3, static_cast<std::int64_t>(data.rating));
    update.bind(4, data.ratingSet);
    update.bind(5, data.note);
    update.bind(6, data.noteSet);
    update.bind(7, bytes(key));
    update.step();
    if (tagsHeld && *tagsHeld == data.tags) {
        return;
    }
    Statement forget(db, "DELETE FROM tags WHERE sound = ?");
    forget.bind(1, bytes(key));
    forget.step();
    Statement tag(db, "INSERT OR IGNORE INTO tags (sound, tag) VALUES (?, ?)");
    for (const std::string& name : data.tags) {
        tag.bind(1, bytes(key));
        tag.bind(2, name);
        tag.step();
        tag.reset();
    }
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

SoundData changed(sqlite3* db, SoundData data, const SoundChange& change, SetTime now)
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
            data.tags.push_back(spellingInUse(db, tag));
        }
    }
    sortTags(data.tags);
    return data;
}

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
    {
        {
            Statement version(_db, "PRAGMA user_version");
            version.step();
            if (version.integer(0) > kSchemaVersion) {
                return Failure{_file.string() +
                               " was made by a later version of A3 Librarian"
                               " (sounds schema " +
                               std::to_string(version.integer(0)) + "); this one reads schema " +
                               std::to_string(kSchemaVersion) + " only, and leaves it as it is"};
            }
        }
        execute(_db, "PRAGMA journal_mode=WAL");
        // Each change is on the disk before the user is told it is made.
        execute(_db, "PRAGMA synchronous=FULL");
        Transaction transaction(_db);
        // Asked again under the write lock: another program may have made
        // the schema meanwhile.
        Statement version(_db, "PRAGMA user_version");
        version.step();
        if (version.integer(0) == 0) {
            execute(_db, "CREATE TABLE sounds ("
                         " key BLOB PRIMARY KEY,"
                         " patch BLOB NOT NULL,"
                         " chain_id INTEGER NOT NULL,"
                         " favourite INTEGER NOT NULL DEFAULT 0,"
                         " favourite_set INTEGER NOT NULL DEFAULT 0,"
                         " rating INTEGER NOT NULL DEFAULT 0,"
                         " rating_set INTEGER NOT NULL DEFAULT 0,"
                         " note TEXT NOT NULL DEFAULT '',"
                         " note_set INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID");
            execute(_db, "CREATE TABLE tags ("
                         " sound BLOB NOT NULL REFERENCES sounds (key),"
                         " tag TEXT NOT NULL COLLATE NOCASE,"
                         " PRIMARY KEY (sound, tag)) WITHOUT ROWID");
            execute(_db, "CREATE INDEX tags_by_name ON tags (tag)");
            execute(_db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
        }
        version.reset();
        transaction.commit();
    }
    return {};
}

template <typename Work>
auto SoundsDatabase::guarded(Work work) -> Result<decltype(work())>
{
    if (!_db) {
        // Not made anew after damage, for a failure that may have passed.
        if (Outcome reopened = reopen(); !reopened.ok()) {
            return reopened.failure();
        }
    }
    std::string damaged;
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            return {};
        } else {
            return work();
        }
    } catch (const SqliteError& error) {
        if (!error.isDamage()) {
            return Failure{error.what()};
        }
        damaged = error.what();
    }
    // Damaged in use: kept for the user, and a new one started, so that
    // what the user says from now on is kept.
    closeConnection();
    if (Outcome moved = moveAside(damaged); !moved.ok()) {
        return moved.failure();
    }
    std::string reason = "the sounds database is damaged (" + damaged + "): it was moved to " +
                         _movedAside->to.string() + " and a new one started";
    if (Outcome reopened = reopen(); !reopened.ok()) {
        return Failure{reason + ", which failed: " + reopened.failure().reason};
    }
    return Failure{reason};
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
        Statement sounds(_db, "SELECT key, favourite, favourite_set, rating, rating_set, note,"
                              " note_set FROM sounds");
        while (sounds.step()) {
            const auto key = sounds.blob(0);
            if (key.size() != kSoundKeySize) {
                continue; // written by no version of ours
            }
            SoundKey soundKey{};
            std::ranges::copy(key, soundKey.begin());
            SoundData& data = snapshot[soundKey];
            data.favourite = static_cast<Favourite>(sounds.integer(1));
            data.favouriteSet = sounds.integer(2);
            data.rating = static_cast<int>(sounds.integer(3));
            data.ratingSet = sounds.integer(4);
            data.note = sounds.text(5);
            data.noteSet = sounds.integer(6);
        }
        Statement tags(_db, "SELECT sound, tag FROM tags ORDER BY sound, tag");
        while (tags.step()) {
            const auto key = tags.blob(0);
            SoundKey soundKey{};
            if (key.size() != kSoundKeySize) {
                continue;
            }
            std::ranges::copy(key, soundKey.begin());
            if (const auto found = snapshot.find(soundKey); found != snapshot.end()) {
                found->second.tags.push_back(tags.text(1));
            }
        }
        reading.commit();
        return snapshot;
    });
}

Result<std::vector<StoredSound>> SoundsDatabase::all()
{
    return guarded([&] {
        // The sounds and the tags each read in one pass in the same order, by
        // key, and met as they come: looking each sound's up costs far more.
        Transaction reading(_db);
        std::vector<StoredSound> sounds;
        Statement select(_db, "SELECT key, patch, chain_id, favourite, favourite_set, rating,"
                              " rating_set, note, note_set FROM sounds ORDER BY key");
        Statement tags(_db, "SELECT sound, tag FROM tags ORDER BY sound, tag");
        bool moreTags = tags.step();
        while (select.step()) {
            const auto key = select.blob(0);
            // Tags of sounds that have no row are no one's.
            while (moreTags && std::ranges::lexicographical_compare(tags.blob(0), key)) {
                moreTags = tags.step();
            }
            std::vector<std::string> held;
            while (moreTags && std::ranges::equal(tags.blob(0), key)) {
                held.push_back(tags.text(1));
                moreTags = tags.step();
            }
            const auto patch = select.blob(1);
            if (patch.size() != kPatchSize) {
                continue;
            }
            StoredSound& stored = sounds.emplace_back();
            std::ranges::copy(patch, stored.sound.patch.begin());
            stored.sound.chainId = static_cast<std::uint16_t>(select.integer(2));
            SoundData& data = stored.data;
            data.favourite = static_cast<Favourite>(select.integer(3));
            data.favouriteSet = select.integer(4);
            data.rating = static_cast<int>(select.integer(5));
            data.ratingSet = select.integer(6);
            data.note = select.text(7);
            data.noteSet = select.integer(8);
            data.tags = std::move(held);
        }
        reading.commit();
        return sounds;
    });
}

Result<std::vector<std::string>> SoundsDatabase::tagsInUse()
{
    return guarded([&] {
        std::vector<std::string> tags;
        Statement select(_db, "SELECT tag FROM tags GROUP BY tag ORDER BY tag");
        while (select.step()) {
            tags.push_back(select.text(0));
        }
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
        for (const Sound& sound : sounds) {
            SoundData data = readData(_db, sound.key()).value_or(SoundData{});
            SoundData after = changed(_db, data, change, now);
            writeSound(_db, sound, after, &data.tags);
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
        for (const StoredSound& stored : sounds) {
            writeSound(_db, stored.sound, stored.data);
        }
        transaction.commit();
    });
}

Result<MergeSummary> SoundsDatabase::merge(std::span<const StoredSound> sounds)
{
    return guarded([&] {
        MergeSummary summary;
        Transaction transaction(_db);
        for (const StoredSound& given : sounds) {
            ++summary.soundsGiven;
            const std::optional<SoundData> held = readData(_db, given.sound.key());
            summary.soundsNew += held ? 0 : 1;
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
                    data.tags.push_back(spellingInUse(_db, tag));
                    ++summary.tagsAdded;
                }
            }
            sortTags(data.tags);
            writeSound(_db, given.sound, data, held ? &held->tags : nullptr);
        }
        transaction.commit();
        return summary;
    });
}

} // namespace a3::library
