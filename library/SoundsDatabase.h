#pragma once

#include "Result.h"
#include "SoundData.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct sqlite3;

namespace a3::library {

// A database found damaged, and where it was moved to make room for a new one.
struct MovedAside
{
    std::filesystem::path to;
    std::string why;
};

// What a merge of sounds from elsewhere did.
struct MergeSummary
{
    std::size_t soundsGiven = 0;
    std::size_t soundsNew = 0;      // not known here before
    std::size_t decisionsTaken = 0; // favourites, ratings and notes decided later there
    std::size_t tagsAdded = 0;      // to sounds here that did not have them
};

// What the user said about their sounds, kept in a SQLite database. It is
// user data, not a cache: every change is durable once made (WAL, synced at
// each commit), a database that cannot be read is moved aside rather than
// deleted, and one of a newer schema is left alone. Programs that change it
// at once wait for each other; neither loses the other's change.
class SoundsDatabase
{
public:
    static constexpr int kSchemaVersion = 1;

    // Opens the database at file, making it (and its folder) when there is
    // none. One that is damaged is moved aside and a new one made: see
    // movedAside(). Fails on one of a newer schema, or one that cannot be
    // opened or made, with the reason.
    static Result<std::unique_ptr<SoundsDatabase>> open(const std::filesystem::path& file);
    ~SoundsDatabase();
    SoundsDatabase(const SoundsDatabase&) = delete;
    SoundsDatabase& operator=(const SoundsDatabase&) = delete;

    const std::filesystem::path& file() const { return _file; }
    // The damaged database this one replaced, at open or in use; none when
    // none was.
    const std::optional<MovedAside>& movedAside() const { return _movedAside; }

    // Every sound's data, for the views.
    Result<SoundsSnapshot> snapshot();
    // Whether another program changed the database since the last
    // snapshot().
    Result<bool> changedElsewhere();
    // Every sound, ordered by key: what an export holds.
    Result<std::vector<StoredSound>> all();
    // The tags in use, each once as first typed, ordered in any case.
    Result<std::vector<std::string>> tagsInUse();

    // Applies change to every sound in one transaction, as decided at now;
    // gives the sounds' data from before and after, in order, so that an
    // undo can restore() either. A failure changes nothing.
    struct Changed
    {
        std::vector<StoredSound> before;
        std::vector<StoredSound> after;
    };
    Result<Changed> change(std::span<const Sound> sounds, const SoundChange& change, SetTime now);
    // Puts the sounds' data back exactly as given, times too.
    Outcome restore(std::span<const StoredSound> sounds);
    // Takes in sounds from elsewhere: their tags are united with ours, and
    // of each favourite, rating and note the later decision wins.
    Result<MergeSummary> merge(std::span<const StoredSound> sounds);

private:
    explicit SoundsDatabase(std::filesystem::path file);

    Outcome openConnection();
    void closeConnection();
    // Why the database at _file cannot be used, when it is damaged; empty
    // when it can. Throws on failures that may pass.
    std::string damage();
    Outcome moveAside(const std::string& why);
    Outcome createSchema();
    // Throws SqliteError.
    Outcome makeSchema();
    // Opens the connection and makes the schema; on failure, none is open.
    Outcome reopen();
    // Runs work, a function of no arguments that may throw SqliteError, and
    // gives its result; damage found meanwhile moves the database aside.
    template <typename Work>
    auto guarded(Work work) -> Result<decltype(work())>;

    std::filesystem::path _file;
    sqlite3* _db = nullptr;
    std::optional<MovedAside> _movedAside;
    std::int64_t _snapshotVersion = -1; // PRAGMA data_version at the last snapshot
};

} // namespace a3::library
