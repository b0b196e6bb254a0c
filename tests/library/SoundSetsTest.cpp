#include "SoundSets.h"

#include "FaultyVfs.h"
#include "SoundsDatabase.h"
#include "SoundsFile.h"
#include "SoundsFixtures.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace a3::library {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

// A database as the first version made it: schema 1, holding one sound
// said to be a favourite.
void makeSchemaOneDatabase(const fs::path& file)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const Sound sound = soundWith(5, "Hall", 1);
    std::string key;
    for (const std::uint8_t byte : sound.key()) {
        key += "0123456789abcdef"[byte >> 4];
        key += "0123456789abcdef"[byte & 0xF];
    }
    const std::string sql =
        "PRAGMA journal_mode=WAL;"
        "CREATE TABLE sounds (key BLOB PRIMARY KEY, patch BLOB NOT NULL,"
        " chain_id INTEGER NOT NULL, favourite INTEGER NOT NULL DEFAULT 0,"
        " favourite_set INTEGER NOT NULL DEFAULT 0, rating INTEGER NOT NULL DEFAULT 0,"
        " rating_set INTEGER NOT NULL DEFAULT 0, note TEXT NOT NULL DEFAULT '',"
        " note_set INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;"
        "CREATE TABLE tags (sound BLOB NOT NULL REFERENCES sounds (key),"
        " tag TEXT NOT NULL COLLATE NOCASE, PRIMARY KEY (sound, tag)) WITHOUT ROWID;"
        "CREATE INDEX tags_by_name ON tags (tag);"
        "INSERT INTO sounds (key, patch, chain_id, favourite, favourite_set) VALUES (x'" +
        key +
        "', zeroblob(64), 4660, 1, 7);"
        "INSERT INTO tags VALUES (x'" +
        key + "', 'Live'), (x'" + key +
        "', 'ambient');"
        "PRAGMA user_version=1;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

using Held = std::pair<std::int64_t, std::int64_t>;

// The schema version of the database at file and its one sound's
// favourite, read as any program would.
Held schemaAndFavourite(const fs::path& file)
{
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    Held found{-1, -1};
    sqlite3_exec(
        db, "SELECT (SELECT user_version FROM pragma_user_version), favourite FROM sounds",
        [](void* out, int, char** values, char**) {
            *static_cast<Held*>(out) = {std::stoll(values[0]), std::stoll(values[1])};
            return 0;
        },
        &found, nullptr);
    sqlite3_close(db);
    return found;
}

TEST(SoundsUpgrade, ASchemaOneDatabaseIsCopiedThenUpgradedKeepingAllItHeld)
{
    TempDir dir;
    const fs::path file = dir / "sounds.sqlite3";
    makeSchemaOneDatabase(file);

    // No copy can be written: nothing is upgraded.
    {
        test::FaultyVfs disk;
        disk.failWrites(SQLITE_FULL);
        const auto refused = SoundsDatabase::open(file);
        ASSERT_FALSE(refused.ok());
        EXPECT_NE(refused.failure().reason.find("not upgraded"), std::string::npos)
            << refused.failure().reason;
    }
    EXPECT_EQ(schemaAndFavourite(file), (Held{1, 1}));
    EXPECT_FALSE(fs::exists(file.native() + ".before-schema-3"));

    // A file of the copy's name is the user's: never overwritten.
    std::ofstream(file.native() + ".before-schema-3") << "mine";
    auto database = openAt(file);
    ASSERT_TRUE(database);
    ASSERT_TRUE(database->copiedBeforeUpgrade());
    const fs::path copy = *database->copiedBeforeUpgrade();
    EXPECT_EQ(copy, file.native() + ".before-schema-3-2");
    EXPECT_EQ(fileText(file.native() + ".before-schema-3"), "mine");
    EXPECT_EQ(schemaAndFavourite(copy), (Held{1, 1}));

    EXPECT_EQ(dataOf(*database, soundWith(5, "Hall", 1)).tags,
              (std::vector<std::string>{"ambient", "Live"}));
    EXPECT_EQ(*database->tagsInUse(), (std::vector<std::string>{"ambient", "Live"}));
    database.reset();
    EXPECT_EQ(schemaAndFavourite(file), (Held{SoundsDatabase::kSchemaVersion, 1}));
    EXPECT_FALSE(openAt(file)->copiedBeforeUpgrade());
}

// Each child opens the schema-1 database at file once told to go, makes a
// set of its own and tells by its exit status whether it kept the copy.
pid_t startUpgrader(const fs::path& file, int upgrader, int goPipe)
{
    const pid_t child = fork();
    if (child != 0) {
        return child;
    }
    const auto opened = openWhenTold(file, goPipe);
    const auto set = opened->createSet("Upgrader " + std::to_string(upgrader));
    if (!set.ok() || !opened->addToSet(*set, std::array{soundWith(5, "Hall", 1)}).ok()) {
        _exit(4);
    }
    _exit(opened->copiedBeforeUpgrade() ? 10 : 0);
}

TEST(SoundsUpgrade, TwoProgramsOpeningItAtOnceUpgradeItOnceAndLoseNothing)
{
    TempDir dir;
    const fs::path file = dir / "sounds.sqlite3";
    makeSchemaOneDatabase(file);
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t first = startUpgrader(file, 1, go[0]);
    const pid_t second = startUpgrader(file, 2, go[0]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    int copiers = 0;
    for (const pid_t child : {first, second}) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 10) << WEXITSTATUS(status);
        copiers += WEXITSTATUS(status) == 10 ? 1 : 0;
    }
    close(go[0]);
    close(go[1]);
    EXPECT_EQ(copiers, 1);
    EXPECT_EQ(schemaAndFavourite(file.native() + ".before-schema-3"), (Held{1, 1}));
    EXPECT_FALSE(fs::exists(file.native() + ".before-schema-3-2"));

    auto database = openAt(file);
    const auto sets = database->sets();
    ASSERT_EQ(sets->size(), 2u);
    EXPECT_EQ(sets->at(1).entries, 1u);
    EXPECT_EQ(dataOf(*database, soundWith(5, "Hall", 1)).favourite, Favourite::Yes);
}

std::vector<std::uint8_t> tellsOf(SoundsDatabase& database, SetId set)
{
    std::vector<std::uint8_t> tells;
    const auto entries = database.setEntries(set);
    EXPECT_TRUE(entries.ok());
    for (const Sound& sound : entries.ok() ? *entries : std::vector<Sound>{}) {
        tells.push_back(sound.patch[63]);
    }
    return tells;
}

TEST(SoundSets, HoldEachSoundOnceInTheOrderTheUserGivesIt)
{
    TempDir dir;
    auto database = openAt(dir / "sounds.sqlite3");
    const SetId gig = *database->createSet("Gig");
    const Sound a = soundWith(5, "A", 1), b = soundWith(5, "B", 2), c = soundWith(5, "C", 3),
                d = soundWith(130, "D", 4);

    EXPECT_EQ(*database->addToSet(gig, std::array{a, b, c, b}), 3u);
    // a again under another name is the same sound: it stays as first added.
    EXPECT_EQ(*database->addToSet(gig, std::array{soundWith(5, "Renamed", 1), d}, 0), 1u);
    EXPECT_EQ(tellsOf(*database, gig), (std::vector<std::uint8_t>{4, 1, 2, 3}));
    EXPECT_EQ(patchName(database->setEntries(gig)->at(1).patch), "A");

    // Out of range: refused, naming the entry as the user counts.
    const auto past = database->addToSet(gig, std::array{soundWith(5, "E", 5)}, 5);
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.failure().reason,
              "\u201CGig\u201D holds 4 sounds: nothing can go before entry 6");
    EXPECT_FALSE(database->moveInSet(gig, std::array<std::size_t, 2>{0, 4}, 0).ok());
    EXPECT_FALSE(database->moveInSet(gig, std::array<std::size_t, 1>{0}, 5).ok());
    EXPECT_FALSE(database->removeFromSet(gig, std::array<std::size_t, 2>{1, 4}).ok());
    EXPECT_EQ(tellsOf(*database, gig), (std::vector<std::uint8_t>{4, 1, 2, 3}));

    // Moved in their order, to before the entry at the place given.
    EXPECT_EQ(*database->moveInSet(gig, std::array<std::size_t, 2>{2, 0}, 4), 2u);
    EXPECT_EQ(tellsOf(*database, gig), (std::vector<std::uint8_t>{1, 3, 4, 2}));
    EXPECT_EQ(*database->moveInSet(gig, std::array<std::size_t, 1>{3}, 0), 0u);
    EXPECT_EQ(tellsOf(*database, gig), (std::vector<std::uint8_t>{2, 1, 3, 4}));
    EXPECT_EQ(*database->moveInSet(gig, std::array<std::size_t, 2>{1, 3}, 2), 1u);
    EXPECT_EQ(tellsOf(*database, gig), (std::vector<std::uint8_t>{2, 1, 4, 3}));

    EXPECT_TRUE(database->removeFromSet(gig, std::array<std::size_t, 3>{3, 0, 3}).ok());
    EXPECT_EQ(tellsOf(*database, gig), (std::vector<std::uint8_t>{1, 4}));

    // A sound is in as many sets as the user puts it in; a set deleted
    // takes its entries along.
    const SetId other = *database->createSet("Other");
    EXPECT_EQ(*database->addToSet(other, std::array{a}), 1u);
    ASSERT_TRUE(database->deleteSet(gig).ok());
    EXPECT_FALSE(database->setEntries(gig).ok());
    EXPECT_FALSE(database->addToSet(gig, std::array{a}).ok());
    EXPECT_TRUE(tellsOf(*database, *database->createSet("Gig")).empty());
    EXPECT_EQ(tellsOf(*database, other), std::vector<std::uint8_t>{1});
}

TEST(SoundSets, NamesAreUniqueInAnyCaseAndWithinTheirRules)
{
    TempDir dir;
    auto database = openAt(dir / "sounds.sqlite3");
    const SetId gig = *database->createSet("Gig 2027-03");
    const SetId demo = *database->createSet("demo");
    const auto taken = database->createSet("GIG 2027-03");
    ASSERT_FALSE(taken.ok());
    EXPECT_EQ(taken.failure().reason, "a set named \u201CGig 2027-03\u201D exists already");
    EXPECT_FALSE(database->renameSet(demo, "gig 2027-03").ok());
    EXPECT_TRUE(database->renameSet(gig, "GIG 2027-03").ok());
    EXPECT_FALSE(database->renameSet(gig + demo, "Elsewhere").ok());

    std::string longest;
    for (std::size_t k = 0; k < kLongestSetName; ++k) {
        longest += "\u00FC";
    }
    EXPECT_TRUE(database->createSet(longest).ok());
    for (const std::string& wrong : {std::string(), longest + "x", std::string("\xC3\x28")}) {
        EXPECT_FALSE(database->createSet(wrong).ok());
        EXPECT_FALSE(database->renameSet(demo, wrong).ok());
        EXPECT_FALSE(database->saveSmartList(wrong, "fav").ok());
    }
    EXPECT_EQ(database->sets()->at(1).name, "GIG 2027-03");

    // Smart lists keep a search under a name of the same rules.
    const SmartListId best = *database->saveSmartList("Best", "fav rating>=4");
    ASSERT_TRUE(database->saveSmartList("Amp", "chain:C*").ok());
    EXPECT_FALSE(database->saveSmartList("BEST", "other").ok());
    EXPECT_FALSE(database->saveSmartList("Long", std::string(kLongestQuery + 1, 'x')).ok());
    EXPECT_FALSE(database->renameSmartList(best, "amp").ok());
    ASSERT_TRUE(database->renameSmartList(best, "Zoo").ok());
    ASSERT_TRUE(database->deleteSmartList(best + 1).ok());
    EXPECT_FALSE(database->renameSmartList(best + 1, "Gone").ok());
    EXPECT_EQ(*database->smartLists(), (std::vector<SmartList>{{best, "Zoo", "fav rating>=4"}}));
}

TEST(BankFromSet, PutsTheSetsSoundsFirstOverTheBaseBankWithTheirChainData)
{
    const A3AllDataSource base = A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH).value();
    // A bank of chain data of its own, whose chain ID a save tells.
    A3AllDataSource source = A3AllDataSource::fallbackBank();
    A3AllData data = source.data();
    std::ranges::fill(data.chain, 0x5A);
    source.setData(data);
    const std::uint16_t id = A3AllDataSource::fromSyxData(source.syxData())->chainChecksum();
    int lookups = 0;
    const ChainDataLookup lookup = [&](std::uint16_t wanted) -> std::optional<ChainData> {
        ++lookups;
        return wanted == id ? std::optional(data.chain) : std::nullopt;
    };

    const std::vector<Sound> set{soundWith(5, "Hall", 1, 0x0BAD), soundWith(130, "Plate", 2, id),
                                 soundWith(140, "Vox", 3, id)};
    const auto made = bankFromSet(set, base, lookup);
    ASSERT_TRUE(made.ok()) << made.failure().reason;
    A3AllData expected = base.data();
    std::ranges::transform(set, expected.patch.begin(), &Sound::patch);
    EXPECT_EQ(made->data().patch, expected.patch);
    EXPECT_EQ(made->data().chain, data.chain);
    EXPECT_EQ(made->chainChecksum(), id);
    EXPECT_EQ(lookups, 1);

    // None plays chain data: the base bank's stays, none looked for.
    const auto plain = bankFromSet(std::span(set).first(1), base, {});
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain->data().chain, base.data().chain);
    EXPECT_EQ(plain->chainChecksum(), base.chainChecksum());
}

TEST(BankFromSet, RefusesWhatNoBankHoldsNamingTheSounds)
{
    const A3AllDataSource base = A3AllDataSource::fallbackBank();
    const ChainDataLookup none = [](std::uint16_t) { return std::nullopt; };
    std::vector<Sound> many;
    for (int k = 0; k < 101; ++k) {
        many.push_back(soundWith(5, "N" + std::to_string(k), static_cast<std::uint8_t>(k)));
    }
    const std::vector<Sound> mixed{
        soundWith(130, "Plate", 1, 0xAAAA), soundWith(5, "Clean", 2, 0xBBBB),
        soundWith(131, "Echo   ", 3, 0xBBBB), soundWith(129, "Pitch", 4, 0xAAAA)};
    const std::pair<std::span<const Sound>, std::string> cases[] = {
        {many, "a bank holds 100 sounds and the set 101; these do not fit: 101 \u201CN100\u201D"},
        {mixed, "come from banks of different chain data, and a bank holds one: "
                "chain ID aaaa: 1 \u201CPlate\u201D, 4 \u201CPitch\u201D; "
                "chain ID bbbb: 3 \u201CEcho\u201D"},
        {std::span(mixed).first(2), "the chain data of chain ID aaaa was not found, which these "
                                    "play: 1 \u201CPlate\u201D"},
    };
    for (const auto& [entries, reason] : cases) {
        const auto refused = bankFromSet(entries, base, none);
        ASSERT_FALSE(refused.ok()) << reason;
        EXPECT_NE(refused.failure().reason.find(reason), std::string::npos)
            << refused.failure().reason;
    }
    EXPECT_TRUE(bankFromSet(std::span(many).first(100), base, none).ok());
}

TEST(SoundsFile, CarriesSetsAndSmartListsAndMergesThemByName)
{
    TempDir dir;
    auto here = openAt(dir / "here.sqlite3");
    auto there = openAt(dir / "there.sqlite3");
    const Sound a = soundWith(5, "A", 1), b = soundWith(130, "B", 2, 0xBEEF),
                c = soundWith(5, "C \"q\"", 3), d = soundWith(5, "D", 4);
    const SetId thereGig = *there->createSet("Gig \u00C4");
    ASSERT_TRUE(there->addToSet(thereGig, std::array{a, b}).ok());
    ASSERT_TRUE(there->addToSet(*there->createSet("Practice"), std::array{c}).ok());
    ASSERT_TRUE(there->createSet("Empty").ok());
    ASSERT_TRUE(there->saveSmartList("Best", "fav \"big hall\"").ok());
    ASSERT_TRUE(there->saveSmartList("Dark", "tag:dark").ok());
    const SetId hereGig = *here->createSet("gig \u00C4");
    ASSERT_TRUE(here->addToSet(hereGig, std::array{b, d}).ok());
    ASSERT_TRUE(here->saveSmartList("best", "mine").ok());

    const std::string text = soundsFileText(*there->content());
    const auto read = soundsFromFileText(text);
    ASSERT_TRUE(read.ok()) << read.failure().reason;
    EXPECT_EQ(soundsFileText(*read), text);

    const auto merged = here->merge(*read);
    ASSERT_TRUE(merged.ok()) << merged.failure().reason;
    EXPECT_EQ(merged->setsNew, 2u);
    EXPECT_EQ(merged->setEntriesAdded, 2u); // a to gig, c to Practice
    EXPECT_EQ(merged->smartListsNew, 1u);
    EXPECT_EQ(tellsOf(*here, hereGig), (std::vector<std::uint8_t>{2, 4, 1}));
    const auto sets = here->sets();
    ASSERT_EQ(sets->size(), 3u);
    EXPECT_EQ(patchName(here->setEntries(sets->at(2).id)->at(0).patch), "C \"q\"");
    EXPECT_EQ((*here->smartLists())[0].query, "mine");

    // Taken in again, nothing is new.
    const auto again = here->merge(*read);
    EXPECT_EQ(again->setsNew + again->setEntriesAdded + again->smartListsNew, 0u);

    // A merge that cannot be made whole makes nothing.
    SoundsContent tooMany;
    tooMany.sounds.push_back({soundWith(5, "New", 9), {}});
    tooMany.sets.push_back({"GIG \u00C4", {}});
    for (std::size_t k = 0; k + 2 < kMostSoundsInASet; ++k) {
        Sound sound = soundWith(5, "X", 0);
        sound.patch[60] = static_cast<std::uint8_t>(k >> 8);
        sound.patch[61] = static_cast<std::uint8_t>(k & 0xFF);
        tooMany.sets[0].sounds.push_back(sound);
    }
    const std::string before = soundsFileText(*here->content());
    const auto refused = here->merge(tooMany);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.failure().reason.find("at most 10000"), std::string::npos)
        << refused.failure().reason;
    EXPECT_EQ(soundsFileText(*here->content()), before);
}

} // namespace
} // namespace a3::library
