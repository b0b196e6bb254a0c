#pragma once

#include "Result.h"
#include "SoundData.h"
#include "SoundSets.h"

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
    std::size_t setsNew = 0;
    std::size_t setEntriesAdded = 0; // to new sets and to those held here
    std::size_t smartListsNew = 0;
};

// What the user said about their sounds, kept in a SQLite database. It is
// user data, not a cache: every change is durable once made (WAL, synced at
// each commit), a database that cannot be read is moved aside rather than
// deleted, and one of a newer schema is left alone. Programs that change it
// at once wait for each other; neither loses the other's change.
//
// It also keeps the user's sets and smart lists (see SoundSets.h). Their
// positions count from 0; their reasons number entries from 1, as the user
// sees them.
class SoundsDatabase
{
public:
    static constexpr int kSchemaVersion = 3;

    // Opens the database at file, making it (and its folder) when there is
    // none. One that is damaged is moved aside and a new one made: see
    // movedAside(). One of an older schema is upgraded, after a copy of it
    // is kept beside it: see copiedBeforeUpgrade(). Fails on one of a newer
    // schema, or one that cannot be opened, made or copied, with the
    // reason.
    static Result<std::unique_ptr<SoundsDatabase>> open(const std::filesystem::path& file);
    ~SoundsDatabase();
    SoundsDatabase(const SoundsDatabase&) = delete;
    SoundsDatabase& operator=(const SoundsDatabase&) = delete;

    const std::filesystem::path& file() const { return _file; }
    // The damaged database this one replaced, at open or in use; none when
    // none was.
    const std::optional<MovedAside>& movedAside() const { return _movedAside; }
    // The copy of the database as it was before this program upgraded its
    // schema ("sounds.sqlite3.before-schema-3"); none when it did not.
    const std::optional<std::filesystem::path>& copiedBeforeUpgrade() const
    {
        return _copiedBeforeUpgrade;
    }

    // Every sound's data, for the views.
    Result<SoundsSnapshot> snapshot();
    // Whether another program changed the database since the last
    // snapshot().
    Result<bool> changedElsewhere();
    // Every sound, ordered by key.
    Result<std::vector<StoredSound>> all();
    // Every sound, set (ordered by name) and smart list at one moment: what
    // an export holds.
    Result<SoundsContent> content();
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
    // Takes in what was kept elsewhere, all or nothing: the sounds' tags
    // are united with ours, and of each favourite, rating and note the
    // later decision wins; a set of a name not held here (in any case) is
    // added whole, one held gets the sounds it lacks appended in the order
    // given; smart lists of names not held here are added.
    Result<MergeSummary> merge(const SoundsContent& content);

    // The sets, ordered by name in any case.
    Result<std::vector<SetSummary>> sets();
    // The set's sounds in order, each as it was added.
    Result<std::vector<Sound>> setEntries(SetId set);
    Result<SetId> createSet(std::string_view name);
    Outcome renameSet(SetId set, std::string_view name);
    Outcome deleteSet(SetId set);
    // Puts those of sounds that the set does not hold yet, in their order,
    // before the entry at position at, or after the last; gives how many
    // were added.
    Result<std::size_t> addToSet(SetId set, std::span<const Sound> sounds,
                                 std::optional<std::size_t> at = std::nullopt);
    Outcome removeFromSet(SetId set, std::span<const std::size_t> positions);
    // Moves the entries at positions, in their order, to before the entry
    // at position to (the count of entries for after the last), both as
    // they are before the move; gives where the first moved entry is then.
    Result<std::size_t> moveInSet(SetId set, std::span<const std::size_t> positions,
                                  std::size_t to);

    // The smart lists, ordered by name in any case.
    Result<std::vector<SmartList>> smartLists();
    Result<SmartListId> saveSmartList(std::string_view name, std::string_view query);
    Outcome renameSmartList(SmartListId list, std::string_view name);
    Outcome deleteSmartList(SmartListId list);

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
    // Keeps a copy of the database, as committed, beside it; called with the
    // write lock held, so that the copy is the database the upgrade finds.
    Outcome copyBeforeUpgrade();
    // Opens the connection and makes the schema; on failure, none is open.
    Outcome reopen();
    // Runs work, a function of no arguments that may throw SqliteError, and
    // gives its result (work may refuse by giving a Result itself); damage
    // found meanwhile moves the database aside.
    template <typename Work>
    auto guarded(Work work);
    // Runs change, which may refuse, on the set's entries in one
    // transaction, and stores them when it does not.
    template <typename Change>
    auto changeEntries(SetId set, Change change);

    std::filesystem::path _file;
    sqlite3* _db = nullptr;
    std::optional<MovedAside> _movedAside;
    std::optional<std::filesystem::path> _copiedBeforeUpgrade;
    std::int64_t _snapshotVersion = -1; // PRAGMA data_version at the last snapshot
};

} // namespace a3::library
