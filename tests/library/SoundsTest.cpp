#include "FaultyVfs.h"
#include "PatchCatalog.h"
#include "SoundQuery.h"
#include "SoundsDatabase.h"
#include "SoundsFile.h"
#include "SoundsFixtures.h"
#include "TempDir.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace a3::library {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

TEST(Sounds, WhatIsSaidFollowsTheSoundUnderAnyNameAndIsUndone)
{
    TempDir dir;
    auto database = openAt(dir / "data/sounds.sqlite3");
    const Sound hall = soundWith(5, "Hall", 1);
    const Sound renamed = soundWith(5, "Room", 1);
    const Sound other = soundWith(5, "Hall", 2);
    const Sound chained = soundWith(130, "Hall", 1, 0x1234);
    const Sound otherChain = soundWith(130, "Hall", 1, 0x9999);
    const Sound unchained = soundWith(5, "Hall", 1, 0x9999);

    ASSERT_TRUE(
        database->change(std::array{hall}, {Favourite::Yes, 4, {"Ambient", "pad"}, {}, "gig"}, 1000)
            .ok());
    const SoundData said = dataOf(*database, renamed);
    EXPECT_EQ(said.favourite, Favourite::Yes);
    EXPECT_EQ(said.rating, 4);
    EXPECT_EQ(said.tags, (std::vector<std::string>{"Ambient", "pad"}));
    EXPECT_EQ(said.note, "gig");
    EXPECT_EQ(said.favouriteSet, 1000);
    EXPECT_TRUE(dataOf(*database, other).holdsNothing());
    // Chain data makes another sound of the same bytes; a chain below 128
    // plays no chain data, so its bank's chain ID is no part of it.
    ASSERT_TRUE(database->change(std::array{chained}, {Favourite::No, {}, {}, {}, {}}, 1).ok());
    EXPECT_EQ(dataOf(*database, chained).favourite, Favourite::No);
    EXPECT_TRUE(dataOf(*database, otherChain).holdsNothing());
    EXPECT_EQ(dataOf(*database, unchained).favourite, Favourite::Yes);
    // Chain IDs one bit apart, in either byte, are other chain data.
    for (const std::uint16_t nearby : std::array<std::uint16_t, 3>{0x1235, 0x1334, 0x0234}) {
        EXPECT_NE(soundWith(130, "Hall", 1, nearby).key(), chained.key()) << nearby;
    }

    // A tag is one in any case, and keeps the spelling it was first typed in.
    const auto before = database->change(std::array{renamed, other},
                                         {{}, kNoRating, {"AMBIENT", "Dark"}, {"PAD"}, {}}, 2000);
    ASSERT_TRUE(before.ok());
    EXPECT_EQ(dataOf(*database, hall).tags, (std::vector<std::string>{"Ambient", "Dark"}));
    EXPECT_EQ(dataOf(*database, other).tags, (std::vector<std::string>{"Ambient", "Dark"}));
    EXPECT_EQ(dataOf(*database, hall).rating, kNoRating);
    EXPECT_EQ(*database->tagsInUse(), (std::vector<std::string>{"Ambient", "Dark"}));

    // The undo puts back what was, times too; and it is all on the disk.
    ASSERT_TRUE(database->restore(before->before).ok());
    database.reset();
    database = openAt(dir / "data/sounds.sqlite3");
    EXPECT_EQ(dataOf(*database, hall), said);
    EXPECT_TRUE(dataOf(*database, other).holdsNothing());
    // A sound nothing was said of before is not kept at all.
    EXPECT_EQ(database->snapshot()->size(), 2u);
    EXPECT_EQ(database->content()->sounds.size(), 2u);

    // Values out of their rules change nothing.
    for (const SoundChange& wrong :
         {SoundChange{{}, 6, {}, {}, {}}, SoundChange{{}, {}, {"two words"}, {}, {}},
          SoundChange{{}, {}, {}, {}, std::string(kLongestNote + 1, 'x')},
          SoundChange{{}, {}, {}, {}, std::string("\xC3\x28")}}) {
        EXPECT_FALSE(database->change(std::array{hall}, wrong, 3000).ok());
    }
    EXPECT_EQ(dataOf(*database, hall), said);
}

TEST(Sounds, ADamagedDatabaseIsMovedAsideWithItsJournalAndANewOneStarts)
{
    TempDir dir;
    const fs::path file = dir / "sounds.sqlite3";
    std::ofstream(file) << "not a database, but the user's all the same";
    std::ofstream(file.native() + "-wal") << "its journal";
    auto database = openAt(file);
    ASSERT_TRUE(database->movedAside());
    const fs::path aside = database->movedAside()->to;
    EXPECT_EQ(aside.parent_path(), dir.path());
    EXPECT_TRUE(aside.filename().native().starts_with("sounds.sqlite3.damaged-"));
    EXPECT_EQ(fileText(aside), "not a database, but the user's all the same");
    EXPECT_EQ(fileText(aside.native() + "-wal"), "its journal");
    ASSERT_TRUE(database->change(std::array{soundWith(1, "A", 1)}, {Favourite::Yes}, 1).ok());

    // A database cut short is found by its check, and moved aside too,
    // under a name of its own.
    database.reset();
    const std::uintmax_t size = fs::file_size(file);
    fs::resize_file(file, size / 2);
    database = openAt(file);
    ASSERT_TRUE(database->movedAside());
    EXPECT_NE(database->movedAside()->to, aside);
    EXPECT_TRUE(fs::exists(aside));
}

TEST(Sounds, DamageFoundInUseMovesItAsideAndTheNextChangeIsKept)
{
    TempDir dir;
    test::FaultyVfs disk;
    auto database = openAt(dir / "sounds.sqlite3");
    const Sound sound = soundWith(1, "A", 1);
    // Another program's change, so that this one reads the disk again.
    ASSERT_TRUE(openAt(dir / "sounds.sqlite3")->change(std::array{sound}, {Favourite::No}, 1).ok());
    disk.failReads(SQLITE_CORRUPT);
    const auto failed = database->change(std::array{sound}, {Favourite::Yes}, 1);
    disk.failReads(SQLITE_OK);
    ASSERT_FALSE(failed.ok());
    ASSERT_TRUE(database->movedAside());
    EXPECT_NE(failed.failure().reason.find(database->movedAside()->to.string()), std::string::npos)
        << failed.failure().reason;
    EXPECT_NE(failed.failure().reason.find("(database disk image is malformed)"), std::string::npos)
        << failed.failure().reason;
    const auto kept = database->change(std::array{sound}, {Favourite::Yes}, 1);
    ASSERT_TRUE(kept.ok()) << kept.failure().reason;
    EXPECT_EQ(dataOf(*openAt(dir / "sounds.sqlite3"), sound).favourite, Favourite::Yes);
}

TEST(Sounds, ADatabaseOfANewerSchemaIsLeftAlone)
{
    TempDir dir;
    const fs::path file = dir / "sounds.sqlite3";
    openAt(file).reset();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=7", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = fileText(file);

    const auto opened = SoundsDatabase::open(file);
    ASSERT_FALSE(opened.ok());
    EXPECT_NE(opened.failure().reason.find("schema 7"), std::string::npos);
    EXPECT_NE(opened.failure().reason.find("schema 3 only"), std::string::npos);
    EXPECT_EQ(fileText(file), before);
}

// Only another program's change makes what was read out of date.
TEST(Sounds, ItTellsWhetherAnotherProgramChangedItSinceItWasRead)
{
    TempDir dir;
    auto mine = openAt(dir / "sounds.sqlite3");
    ASSERT_TRUE(mine->snapshot().ok());
    EXPECT_FALSE(*mine->changedElsewhere());
    ASSERT_TRUE(mine->change(std::array{soundWith(5, "Hall", 1)}, {.rating = 2}, 1).ok());
    EXPECT_FALSE(*mine->changedElsewhere());
    ASSERT_TRUE(openAt(dir / "sounds.sqlite3")
                    ->change(std::array{soundWith(5, "Hall", 2)}, {.rating = 3}, 2)
                    .ok());
    EXPECT_TRUE(*mine->changedElsewhere());
    EXPECT_EQ(mine->snapshot()->size(), 2u);
    EXPECT_FALSE(*mine->changedElsewhere());
}

TEST(Sounds, AWriteThatFailsSaysWhyAndChangesNothing)
{
    TempDir dir;
    test::FaultyVfs disk;
    auto database = openAt(dir / "sounds.sqlite3");
    const Sound sound = soundWith(1, "A", 1);
    ASSERT_TRUE(database->change(std::array{sound}, {Favourite::Yes, 3}, 1).ok());
    disk.failWrites(SQLITE_FULL);
    const auto failed = database->change(std::array{sound}, {Favourite::No, 5, {"x"}}, 2);
    disk.failWrites(SQLITE_OK);
    ASSERT_FALSE(failed.ok());
    EXPECT_NE(failed.failure().reason.find("full"), std::string::npos) << failed.failure().reason;
    EXPECT_FALSE(database->movedAside());
    const SoundData kept = dataOf(*database, sound);
    EXPECT_EQ(kept.favourite, Favourite::Yes);
    EXPECT_EQ(kept.rating, 3);
    EXPECT_TRUE(kept.tags.empty());
}

// Each child opens the database (making it, when none is there yet) and
// rates its own sounds one change at a time, telling the parent of each
// change made; the children start at once.
pid_t startWriter(const fs::path& file, int writer, int goPipe, int donePipe)
{
    const pid_t child = fork();
    if (child != 0) {
        return child;
    }
    const auto opened = openWhenTold(file, goPipe);
    for (std::uint8_t k = 0; k < 200; ++k) {
        const Sound shared = soundWith(100, "A", k);
        const Sound mine = soundWith(static_cast<std::uint8_t>(writer), "A", k);
        if (!opened->change(std::array{shared, mine}, {{}, k % 5 + 1}, 1).ok()) {
            _exit(4);
        }
        if (write(donePipe, &k, 1) != 1) {
            _exit(5);
        }
    }
    _exit(0);
}

TEST(Sounds, TwoProgramsMakingAndChangingItAtOnceLoseNothing)
{
    TempDir dir;
    const fs::path file = dir / "new/sounds.sqlite3";
    int go[2], done[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t first = startWriter(file, 1, go[0], done[1]);
    const pid_t second = startWriter(file, 2, go[0], done[1]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    for (const pid_t child : {first, second}) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    for (int fd : {go[0], go[1], done[0], done[1]}) {
        close(fd);
    }
    auto database = openAt(file);
    EXPECT_FALSE(database->movedAside());
    const auto all = database->all();
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(all->size(), 600u); // 200 sounds both rated, 200 of each writer's own
}

TEST(Sounds, AProgramKilledWhileWritingLeavesEveryChangeItMade)
{
    TempDir dir;
    const fs::path file = dir / "sounds.sqlite3";
    openAt(file).reset();
    int go[2], done[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t writer = startWriter(file, 3, go[0], done[1]);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    std::uint8_t last = 0;
    for (int k = 0; k < 40; ++k) {
        ASSERT_EQ(read(done[0], &last, 1), 1);
    }
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    for (int fd : {go[0], go[1], done[0], done[1]}) {
        close(fd);
    }
    auto database = openAt(file);
    EXPECT_FALSE(database->movedAside());
    for (std::uint8_t k = 0; k <= last; ++k) {
        EXPECT_EQ(dataOf(*database, soundWith(3, "A", k)).rating, k % 5 + 1) << int(k);
    }
}

TEST(SoundsFile, CarriesEverySoundAndMergesTheLaterDecisions)
{
    TempDir dir;
    auto here = openAt(dir / "here.sqlite3");
    auto there = openAt(dir / "there.sqlite3");
    const Sound a = soundWith(1, "Quote\"\\", 1), b = soundWith(140, "B", 2, 0xBEEF);
    ASSERT_TRUE(
        there
            ->change(std::array{a, b},
                     {Favourite::Yes, 5, {"Live", "ünïcode"}, {}, "line one\nline two \x01"},
                     1'765'000'000'123)
            .ok());
    ASSERT_TRUE(
        here->change(std::array{a}, {Favourite::No, 2, {"live", "mine"}, {}, {}}, 1'765'000'000'124)
            .ok());

    const std::string text = soundsFileText(*there->content());
    const auto read = soundsFromFileText(text);
    ASSERT_TRUE(read.ok()) << read.failure().reason;
    ASSERT_EQ(read->sounds.size(), 2u);
    EXPECT_EQ(soundsFileText(*read), text);
    const auto merged = here->merge(*read);
    ASSERT_TRUE(merged.ok());
    // a: ours were decided later but for the note; b is new with all it has.
    EXPECT_EQ(merged->soundsGiven, 2u);
    EXPECT_EQ(merged->soundsNew, 1u);
    EXPECT_EQ(merged->decisionsTaken, 1u + 3u);
    EXPECT_EQ(merged->tagsAdded, 1u + 2u);
    const SoundData mergedA = dataOf(*here, a);
    EXPECT_EQ(mergedA.favourite, Favourite::No);
    EXPECT_EQ(mergedA.rating, 2);
    EXPECT_EQ(mergedA.note, "line one\nline two \x01");
    EXPECT_EQ(mergedA.tags, (std::vector<std::string>{"live", "mine", "ünïcode"}));
    SoundData expectedB = dataOf(*there, b);
    expectedB.tags = {"live", "ünïcode"}; // as this database first spelled it
    EXPECT_EQ(dataOf(*here, b), expectedB);
}

TEST(SoundsFile, GivesEachSoundItsOwnTagsAndKeepsThemThroughOtherChanges)
{
    TempDir dir;
    auto database = openAt(dir / "sounds.sqlite3");
    const Sound x = soundWith(1, "X", 1), y = soundWith(1, "Y", 2), z = soundWith(1, "Z", 3);
    ASSERT_TRUE(database->change(std::array{x}, {.addTags = {"Pad", "air"}}, 1).ok());
    ASSERT_TRUE(database->change(std::array{y}, {.rating = 4}, 2).ok());
    ASSERT_TRUE(database->change(std::array{z}, {.addTags = {"live"}}, 3).ok());
    // Tags left as they are by a change of the rest.
    ASSERT_TRUE(database->change(std::array{x, y, z}, {.favourite = Favourite::Yes}, 4).ok());
    const auto all = database->all();
    ASSERT_TRUE(all.ok());
    ASSERT_EQ(all->size(), 3u);
    for (const StoredSound& stored : *all) {
        EXPECT_EQ(stored.data, dataOf(*database, stored.sound));
        EXPECT_EQ(stored.data.favourite, Favourite::Yes);
    }
    EXPECT_EQ(dataOf(*database, x).tags, (std::vector<std::string>{"air", "Pad"}));
    EXPECT_TRUE(dataOf(*database, y).tags.empty());
    EXPECT_EQ(dataOf(*database, z).tags, std::vector<std::string>{"live"});
}

TEST(SoundsFile, AFileOfTheWrongShapeIsRefusedWithTheReason)
{
    const std::string head = R"({"format": "A3 Librarian sounds", "version": 1, "sounds": [)";
    const std::string patch = std::string(128, '0');
    const auto sound = [&](const std::string& fields) {
        return head + R"({"patch": ")" + patch + R"(", "chainId": "00ff")" + fields + "}]}";
    };
    std::string manyTags = R"(, "tags": [)";
    for (int k = 0; k < 10'000; ++k) {
        manyTags += (k ? ",\"t" : "\"t") + std::to_string(k) + "\"";
    }
    manyTags += "]";
    const std::string two = R"({"format": "A3 Librarian sounds", "version": 2, "sounds": [], )";
    std::string manySets = two + R"("sets": [)";
    for (int k = 0; k < 10'000; ++k) {
        manySets += (k ? ",{" : "{") + std::string(R"("name": "s", "sounds": []})");
    }
    manySets += "]}";
    const std::pair<std::string, std::string> cases[] = {
        {"{\"format\": ", "not JSON"},
        {"[1, 2]", "not a sounds file"},
        {R"({"format": "A3 Librarian sounds", "version": 3, "sounds": []})", "version 3"},
        {R"({"format": "A3 Librarian sounds", "version": 1})", "without a \"sounds\" list"},
        {head + R"({"patch": ")" + std::string(126, '0') + R"(", "chainId": "0000"}]})",
         "sound 1 has a patch of 63 bytes"},
        {head + R"({"patch": ")" + std::string(127, '0') + R"(x", "chainId": "0000"}]})",
         "not hexadecimal"},
        {sound(manyTags), "has 10000 tags"},
        {sound(R"(, "tags": ["two words"])"), "a tag that breaks the rules"},
        {sound(R"(, "rating": 6)"), "\"rating\""},
        {sound(R"(, "favourite": "maybe")"), "\"favourite\""},
        {sound(R"(, "noteSet": "2026-02-30T00:00:00.000Z")"), "\"noteSet\""},
        {head + "{}]}", "sound 1 has no \"patch\""},
        {head + "1]}", "sound 1 is not an object"},
        {two + R"("sets": {}})", "\"sets\" are not a list"},
        {two + R"("sets": [{"sounds": []}]})", "set 1 has no \"name\""},
        {two + R"("sets": [{"name": ""}]})", "a name cannot be empty"},
        {two + R"("sets": [{"name": "Gig"}]})", "set 1 (\u201CGig\u201D) has no \"sounds\""},
        {two + R"("sets": [{"name": "Gig", "sounds": [{"patch": ")" + std::string(126, '0') +
             R"(", "chainId": "0000"}]}]})",
         "set 1 (\u201CGig\u201D) sound 1 has a patch of 63 bytes"},
        {manySets, "a sounds file of 10000 sets; at most 1000"},
        {two + R"("smartLists": [{"name": "Best"}]})", "smart list 1 (\u201CBest\u201D) has no"},
    };
    for (const auto& [text, reason] : cases) {
        const auto read = soundsFromFileText(text);
        ASSERT_FALSE(read.ok()) << text.substr(0, 80);
        EXPECT_NE(read.failure().reason.find(reason), std::string::npos)
            << read.failure().reason << " for " << text.substr(0, 80);
    }
    EXPECT_TRUE(soundsFromFileText(sound(R"(, "rating": null, "favouriteSet": null)")).ok());
    // Version 1 had no sets: whatever stands under that name is passed over.
    const auto one = soundsFromFileText(head + R"(], "sets": [{"name": ""}]})");
    ASSERT_TRUE(one.ok()) << one.failure().reason;
    EXPECT_TRUE(one->sets.empty());
}

TEST(SoundQuery, FiltersByNameAndByWhatWasSaid)
{
    SoundData said;
    said.favourite = Favourite::Yes;
    said.rating = 4;
    said.tags = {"Ambient", "live"};
    said.note = "For the Gig in May";
    // Two patches: a name, its chain byte, its bank's path and its data.
    const auto matches = [&](const SoundQuery& query, bool first) {
        return first ? query.nameMatches("big hall") && query.bankMatches("/banks/Live 2026.syx") &&
                           query.soundMatches(130, &said)
                     : query.nameMatches("hall") && query.bankMatches("/banks/studio.syx") &&
                           query.soundMatches(5, nullptr);
    };
    const std::pair<const char*, std::pair<bool, bool>> cases[] = {
        {"", {true, true}},
        {"hall", {true, true}},
        {"HALL big", {true, false}},
        {"\"g h\"", {true, false}},
        {"\"hall big\"", {false, false}},
        {"fav", {true, false}},
        {"fav:undecided", {false, true}},
        {"fav:NO", {false, false}},
        {"rating>=4 rating<=4", {true, false}},
        {"rating>=5", {false, false}},
        {"rating=4", {true, false}},
        {"rating=3", {false, false}},
        {"rating<=3", {false, false}},
        {"rating:none", {false, true}},
        {"tag:AMBIENT tag:live", {true, false}},
        {"-tag:ambient", {false, true}},
        {"tag:amb", {false, false}},
        {"chain:C*", {true, false}},
        {"chain:c2", {true, false}},
        {"chain:0*", {false, true}},
        {"bank:live", {true, false}},
        {"bank:banks", {true, true}},
        {"note:gig", {true, false}},
        {"hall fav tag:ambient rating>=3 chain:C* bank:live note:may", {true, false}},
    };
    for (const auto& [text, expected] : cases) {
        const auto query = SoundQuery::parse(text);
        ASSERT_TRUE(query.ok()) << text;
        EXPECT_EQ(matches(*query, true), expected.first) << text;
        EXPECT_EQ(matches(*query, false), expected.second) << text;
    }
    EXPECT_FALSE(SoundQuery::parse("hall bank:x")->asksOfSounds());
    EXPECT_TRUE(SoundQuery::parse("hall chain:0*")->asksOfSounds());
    for (const char* wrong : {"rating>=6", "rating=x", "fav:maybe", "tag:", "-tag:a,b"}) {
        EXPECT_FALSE(SoundQuery::parse(wrong).ok()) << wrong;
    }
}

TEST(SoundData, TagsTypedBecomeTheChangeAndTimesReadBackExactly)
{
    const std::vector<std::string> shown{"Ambient", "live"};
    const auto edited = tagsEdited(shown, " ambient,dark  Dark\tpad.2");
    ASSERT_TRUE(edited.ok());
    EXPECT_EQ(edited->addTags, (std::vector<std::string>{"dark", "pad.2"}));
    EXPECT_EQ(edited->removeTags, std::vector<std::string>{"live"});
    EXPECT_FALSE(tagsEdited(shown, "fine n/a").ok());

    for (const char* text : {"1999-09-09T09:09:09.999Z", "2026-12-31T23:59:59.000Z"}) {
        const auto time = setTimeFromText(text);
        ASSERT_TRUE(time) << text;
        EXPECT_EQ(setTimeText(*time), text);
    }
    for (const char* text : {"2026-02-29T00:00:00.000Z", "2026-12-08T24:00:00.000Z",
                             "2026-12-08 22:30:01.123Z", "1969-12-31T23:59:59.999Z"}) {
        EXPECT_FALSE(setTimeFromText(text)) << text;
    }
}

TEST(SoundQuery, SearchesACatalogWithItsSoundsData)
{
    PatchCatalog catalog;
    std::array<std::uint8_t, kBankPatchBytes> patches{};
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        patches[row * kPatchSize + 63] = static_cast<std::uint8_t>(row % 10);
        patches[row * kPatchSize + kPatchNameOffset] = 'A';
    }
    catalog.addBank({"/a.syx", 1, false}, patches);
    catalog.addBank({"/b.syx", 1, false}, patches);
    catalog.finish();
    SoundsSnapshot sounds;
    sounds[catalog.soundKey(3)].favourite = Favourite::Yes;
    const auto query = SoundQuery::parse("a fav");
    ASSERT_TRUE(query.ok());
    // Rows 4, 14, ... 94 of both banks are that sound.
    EXPECT_EQ(catalog.search(*query, sounds, false).size(), 20u);
    EXPECT_EQ(catalog.search(*query, sounds, true), std::vector<PatchCatalog::PatchId>{3});
    EXPECT_EQ(catalog.search(*SoundQuery::parse("fav:undecided bank:b"), sounds, true).size(), 9u);
    EXPECT_EQ(catalog.search(*SoundQuery::parse("b"), sounds, false).size(), 0u);
}

TEST(SoundQuery, ASoundNothingIsSaidOfPassesByItsChainAlone)
{
    PatchCatalog catalog;
    std::array<std::uint8_t, kBankPatchBytes> patches{};
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        patches[row * kPatchSize] = static_cast<std::uint8_t>(row < 10 ? 130 + row : 5);
        patches[row * kPatchSize + 63] = static_cast<std::uint8_t>(row);
    }
    catalog.addBank({"/a.syx", 1, false}, patches);
    catalog.finish();
    SoundsSnapshot sounds;
    sounds[catalog.soundKey(1)].favourite = Favourite::Yes;
    sounds[catalog.soundKey(12)].favourite = Favourite::No;
    const auto found = [&](const char* text) {
        return catalog.search(*SoundQuery::parse(text), sounds, false);
    };
    EXPECT_EQ(found("chain:C*").size(), 10u);
    EXPECT_EQ(found("chain:C3 fav:undecided"), std::vector<PatchCatalog::PatchId>{});
    EXPECT_EQ(found("chain:C3"), std::vector<PatchCatalog::PatchId>{1});
    EXPECT_EQ(found("chain:C4 fav:undecided"), std::vector<PatchCatalog::PatchId>{2});
    EXPECT_EQ(found("chain:05 fav:undecided").size(), 89u);
    EXPECT_EQ(found("chain:05 fav:no"), std::vector<PatchCatalog::PatchId>{12});
}

} // namespace
} // namespace a3::library
