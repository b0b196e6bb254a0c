#include "FaultyVfs.h"
#include "IndexSession.h"
#include "Isolation.h"
#include "LibraryIndex.h"
#include "LibraryPlaces.h"
#include "MidiFileWriter.h"
#include "PatchCatalog.h"
#include "TempDir.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

namespace a3::library {
namespace {

using test::bankWith;
using test::TempDir;
namespace fs = std::filesystem;

// Why a refresh did not update the index; empty when it did.
std::string failureOf(const RefreshResult& refreshed)
{
    return refreshed.updated.ok() ? std::string() : refreshed.updated.failure().reason;
}

void addToCatalog(PatchCatalog& catalog, const std::string& path, const A3AllDataSource& bank)
{
    catalog.addBank({path, bank.chainChecksum(), false},
                    std::bit_cast<std::array<std::uint8_t, kBankPatchBytes>>(bank.data().patch));
}

// "file:number" of each patch, or "place:number" for a bank inside a file,
// as a test states what it expects.
std::vector<std::string> places(const PatchCatalog& catalog,
                                std::span<const PatchCatalog::PatchId> patches)
{
    std::vector<std::string> result;
    for (const auto patch : patches) {
        const CatalogBank& bank = catalog.bank(patch);
        result.push_back((bank.place ? describePlace(bank.path, *bank.place) : bank.path) + ":" +
                         std::to_string(catalog.row(patch) + 1));
    }
    return result;
}

TEST(PatchCatalog, AnswersSearchesByNameAndBySound)
{
    // In a every patch but 1 (byte 63 differs) is the fallback sound; b's
    // patch 2 is a's patch 3 renamed, b's patch 4 differs in byte 63, and
    // b's patch 6 has a name that ends at a zero byte.
    PatchCatalog catalog;
    addToCatalog(catalog, "a", bankWith({{1, u"Hall"}, {3, u"BigHALL"}, {5, u"hal l"}}, {{1, 9}}));
    A3AllDataSource b = bankWith({{2, u"Room"}, {4, u"xHallx"}}, {{4, 9}});
    std::vector<std::uint8_t> patch = b.patchDataAt(5);
    std::memcpy(&patch[kPatchNameOffset], "AB\0Hall", kPatchNameLength);
    b.setPatchData(patch, 5);
    addToCatalog(catalog, "b", b);
    catalog.finish();
    ASSERT_EQ(catalog.patchCount(), 200u);
    ASSERT_EQ(catalog.name(2), "BigHALL");
    ASSERT_EQ(catalog.name(105), "AB");

    const struct
    {
        std::string text;
        bool onePerSound;
        std::vector<std::string> expected;
    } searches[] = {
        {"hall", false, {"a:1", "a:3", "b:4"}},
        {"HaLl", false, {"a:1", "a:3", "b:4"}},
        {"hall", true, {"a:1", "a:3"}}, // b:4 is a:1's sound
        {"bighall", false, {"a:3"}},
        {"bighall!", false, {}}, // longer than any name
        {"l l", false, {"a:5"}},
        {"Hall\xC3\xA9", false, {}},
        {std::string("AB\0", 3), false, {}}, // names end at a zero, but no name holds one
        {"ab", false, {"b:6"}},
    };
    for (const auto& search : searches) {
        SCOPED_TRACE(search.text);
        EXPECT_EQ(places(catalog, catalog.search(search.text, search.onePerSound)),
                  search.expected);
    }
    EXPECT_EQ(catalog.search("", false).size(), 200u);
    EXPECT_EQ(catalog.search("", true).size(), 2u);

    EXPECT_EQ(places(catalog, catalog.sameSound(0)), (std::vector<std::string>{"a:1", "b:4"}));
    EXPECT_EQ(catalog.otherPlaces(0), 1u);
    EXPECT_EQ(catalog.otherPlaces(2), 197u);
    EXPECT_EQ(catalog.sameSound(101).size(), 198u);
}

TEST(PatchCatalog, TheSameBytesOverOtherChainDataAreAnotherSound)
{
    // Row 1 plays the bank's chain data (C2), row 2 does not; every other
    // row is a sound of its own. a and b share their chain data, c's differs.
    std::array<std::uint8_t, kBankPatchBytes> patches{};
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        patches[row * kPatchSize] = row == 0 ? 130 : 5;
        patches[row * kPatchSize + kPatchSize - 1] = static_cast<std::uint8_t>(row);
    }
    PatchCatalog catalog;
    catalog.addBank({"a", 0x1234, false}, patches);
    catalog.addBank({"b", 0x1234, false}, patches);
    catalog.addBank({"c", 0x4321, false}, patches);
    catalog.addBank({"d", 0x9934, false}, patches); // a's low byte, another high one
    catalog.finish();
    EXPECT_EQ(places(catalog, catalog.sameSound(0)), (std::vector<std::string>{"a:1", "b:1"}));
    EXPECT_EQ(places(catalog, catalog.sameSound(200)), std::vector<std::string>{"c:1"});
    EXPECT_EQ(places(catalog, catalog.sameSound(300)), std::vector<std::string>{"d:1"});
    EXPECT_EQ(catalog.otherPlaces(100), 1u);
    EXPECT_EQ(catalog.otherPlaces(200), 0u);
    EXPECT_EQ(places(catalog, catalog.sameSound(101)),
              (std::vector<std::string>{"a:2", "b:2", "c:2", "d:2"}));
    EXPECT_EQ(catalog.search("", true).size(), 102u);
    // Each sound is found again by its key, which tells the chain IDs apart.
    for (PatchCatalog::PatchId patch = 0; patch < catalog.patchCount(); ++patch) {
        ASSERT_EQ(catalog.soundWithKey(catalog.soundKey(patch)), catalog.soundOf(patch)) << patch;
    }
    EXPECT_EQ(catalog.soundWithKey(soundKey(catalog.patchData(0), 0x1235)), std::nullopt);
    EXPECT_EQ(catalog.soundWithKey(SoundKey{}), std::nullopt);
    EXPECT_EQ(PatchCatalog().soundWithKey(catalog.soundKey(0)), std::nullopt);
    // A copy carries the chain data of the bank its chain-data patch is in.
    const std::array<PatchCatalog::PatchId, 2> plainThenC{101, 200};
    const CatalogPayload fromC = catalog.payload(plainThenC);
    EXPECT_EQ(fromC.bytes.size(), 2 * kPatchSize);
    EXPECT_TRUE(fromC.refersToChainData);
    EXPECT_EQ(fromC.chainChecksum, 0x4321);
    EXPECT_FALSE(fromC.chainsDiffer);
    EXPECT_FALSE(catalog.payload(std::array<PatchCatalog::PatchId, 1>{101}).refersToChainData);
    EXPECT_TRUE(catalog.payload(std::array<PatchCatalog::PatchId, 2>{0, 200}).chainsDiffer);
    EXPECT_FALSE(catalog.payload(std::array<PatchCatalog::PatchId, 2>{0, 100}).chainsDiffer);
    // What is said of c's chain-data sound is said of c's patch alone.
    SoundsSnapshot sounds;
    sounds[catalog.soundKey(200)].rating = 2;
    sounds[soundKey(catalog.patchData(0), 0x7777)].rating = 5; // in no bank
    const SaidOfSounds said = catalog.saidOf(sounds);
    for (PatchCatalog::PatchId patch = 0; patch < catalog.patchCount(); ++patch) {
        const SoundData* data = said.of(catalog.soundOf(patch));
        ASSERT_EQ(data ? data->rating : 0, patch == 200 ? 2 : 0) << patch;
    }
}

TEST(UpdateProgress, SaysWhereTheUpdateIsAndSinceWhen)
{
    UpdateProgress progress;
    EXPECT_TRUE(progress.place().folder.empty());
    const auto before = std::chrono::steady_clock::now();
    progress.arrive("/banks/slow");
    const UpdateProgress::Place place = progress.place();
    EXPECT_EQ(place.folder, "/banks/slow");
    EXPECT_GE(place.since, before);
    EXPECT_LE(place.since, std::chrono::steady_clock::now());
}

class Library : public testing::Test
{
protected:
    fs::path indexFile() const { return _dir / "cache/library.sqlite3"; }
    fs::path banks() const { return _dir / "banks"; }
    IndexUpdate update(auto&& index) { return index.update(std::vector{banks()}); }
    std::vector<std::string> walked(std::vector<fs::path> folders)
    {
        _walk = findBankFiles(folders);
        std::vector<std::string> names;
        for (const auto& file : _walk.files) {
            names.push_back(file.path.lexically_relative(_dir.path()).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir _dir;
    WalkResult _walk;
};

TEST_F(Library, WalkFindsEveryBankOnceAndPassesOverWhatItCannotRead)
{
    test::writeBytes(_dir / "banks/one.syx", bankWith({}).syxData());
    test::writeBytes(_dir / "banks/deep/er/two.SYX", bankWith({}).syxData());
    // Of other lengths, only files named as those that may hold dumps are.
    test::writeBytes(_dir / "banks/short.syx", std::vector<std::uint8_t>(100));
    test::writeBytes(_dir / "banks/song.MIDI", std::vector<std::uint8_t>(100));
    test::writeBytes(_dir / "banks/song.mid.bak", std::vector<std::uint8_t>(100));
    test::writeBytes(_dir / "banks/syx", std::vector<std::uint8_t>(100));
    fs::create_directory_symlink("..", _dir / "banks/deep/loop");
    fs::create_directory_symlink(_dir / "banks/deep", _dir / "banks/shortcut");
    test::writeBytes(_dir / "other/three.syx", bankWith({}).syxData());
    fs::create_directory_symlink(_dir / "other", _dir / "banks/linked");

    EXPECT_EQ(walked({_dir / "banks", _dir / "missing"}),
              (std::vector<std::string>{"banks/deep/er/two.SYX", "banks/linked/three.syx",
                                        "banks/one.syx", "banks/short.syx", "banks/song.MIDI"}));
    EXPECT_EQ(_walk.loopsSkipped, 2); // deep/loop back up, and shortcut to deep seen before
    ASSERT_EQ(_walk.unreadableFolders.size(), 1u);
    EXPECT_EQ(_walk.unreadableFolders[0].reason, "No such file or directory");

    test::writeBytes(_dir / "banks/locked/hidden.syx", bankWith({}).syxData());
    fs::permissions(_dir / "banks/locked", fs::perms::none);
    if (test::withoutPrivileges(_dir.path())) {
        EXPECT_EQ(walked({_dir / "banks"}).size(), 5u);
        ASSERT_EQ(_walk.unreadableFolders.size(), 1u);
        EXPECT_EQ(_walk.unreadableFolders[0].path, _dir / "banks/locked");
        EXPECT_EQ(_walk.unreadableFolders[0].reason, "Permission denied");

        // A bank that cannot be read is not taken for a file that is no bank.
        test::writeBytes(_dir / "mine/secret.syx", bankWith({}).syxData());
        fs::permissions(_dir / "mine/secret.syx", fs::perms::none);
        LibraryIndex index(indexFile());
        const std::vector<fs::path> folders{_dir / "mine"};
        EXPECT_EQ(index.update(folders).filesUnreadable, 1);
        fs::permissions(_dir / "mine/secret.syx", fs::perms::owner_read);
        EXPECT_EQ(index.update(folders).banksRead, 1);
    }
}

TEST_F(Library, AFileThatChangesWhileReadIsReadAgain)
{
    if (!test::withPreloaded(A3_CHANGE_DURING_READ)) {
        return;
    }
    // Versions that differ in both halves of the file (chain data, a name),
    // so that a read of half of each has a checksum that does not fit.
    const auto version = [](const std::u16string& name, std::uint8_t chainByte) {
        A3AllDataSource bank = bankWith({{1, name}});
        A3AllData record = bank.data();
        record.chain.fill(chainByte);
        bank.setData(record);
        return bank.syxData();
    };
    test::writeBytes(_dir / "bank.syx", version(u"Before", 1));
    test::writeBytes(_dir / "after.syx", version(u"After", 2));
    // The file's time moves on only with the system's coarse clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    setenv("A3_REPLACE_DURING_READ", (_dir / "after.syx").c_str(), 1);
    FileIdentity identity;
    const BanksRead read = readBanks(_dir / "bank.syx", identity);
    unsetenv("A3_REPLACE_DURING_READ");
    ASSERT_TRUE(read.ok());
    const std::vector<FileBank>& banks = *read;
    ASSERT_EQ(banks.size(), 1u);
    EXPECT_FALSE(banks[0].summary.hasDefects);
    EXPECT_EQ(patchName(std::span(banks[0].summary.patches).first<kPatchSize>()), "After  ");
    // What the index keeps: the file as it was read.
    const WalkResult walk = findBankFiles(std::vector{_dir.path()});
    EXPECT_EQ(std::ranges::count(walk.files, FoundFile{_dir / "bank.syx", identity}), 1);
}

TEST_F(Library, ReadsOnlyWhatChangedAndForgetsWhatWent)
{
    test::writeBytes(banks() / "a.syx", bankWith({{1, u"Hall"}}).syxData());
    test::writeBytes(banks() / "b.syx", bankWith({}).syxData());
    test::writeBytes(banks() / "other.syx", std::vector<std::uint8_t>(kAllDataFileSize, 0x41));
    LibraryIndex index(indexFile());
    EXPECT_EQ(index.rebuiltBecause(), "");

    IndexUpdate first = update(index);
    EXPECT_EQ(first.banksRead, 2);
    EXPECT_EQ(first.filesPassedOver, 1);
    EXPECT_EQ(index.catalog().search("hall", false).size(), 1u);

    IndexUpdate again = update(index);
    EXPECT_EQ(again.banksRead, 0);
    EXPECT_EQ(again.filesUnchanged, 3);

    test::writeBytes(banks() / "b.syx", bankWith({{2, u"Hall"}}).syxData());
    fs::remove(banks() / "a.syx");
    IndexUpdate changed = update(index);
    EXPECT_EQ(changed.banksRead, 1);
    EXPECT_EQ(changed.filesRemoved, 1);
    const PatchCatalog catalog = index.catalog();
    ASSERT_EQ(catalog.bankCount(), 1u);
    EXPECT_EQ(places(catalog, catalog.search("hall", false)),
              std::vector<std::string>{(banks() / "b.syx").string() + ":2"});

    // A folder no longer searched takes its banks out of the index.
    EXPECT_EQ(index.update(std::vector<fs::path>{}).filesRemoved, 2);
    EXPECT_EQ(index.catalog().bankCount(), 0u);
}

// Each dump in a MIDI file, a capture or an archive is a bank of its own,
// named by its place there; a file without a whole dump is read once and
// counted, and one named as no such file is not read at all.
TEST_F(Library, IndexesEveryDumpAFileHoldsByItsPlace)
{
    A3AllDataSource song = bankWith({{4, u"Song"}});
    const std::vector<std::uint8_t> songDump = song.syxData();
    const std::vector<std::uint8_t> midiFile = midiFileOfDump(
        std::span<const std::uint8_t, kAllDataFileSize>(songDump.data(), songDump.size()));
    test::writeBytes(banks() / "song.MID", midiFile);
    test::writeBytes(banks() / "song.bin", midiFile);
    std::vector<std::uint8_t> two = songDump;
    const std::vector<std::uint8_t> gigDump = bankWith({{1, u"Gig"}}).syxData();
    two.insert(two.end(), gigDump.begin(), gigDump.end());
    test::writeBytes(banks() / "two.syx", two);
    const fs::path zip = banks() / "three-banks.zip";
    fs::copy_file(fs::path(A3_TEST_DATA_DIR) / "archives/three-banks.zip", zip);
    const std::string_view notes = "Live set, March: bank 2 for the second half.\n";
    test::writeBytes(banks() / "notes.txt",
                     std::span(reinterpret_cast<const std::uint8_t*>(notes.data()), notes.size()));
    test::writeBytes(banks() / "cut.syx", std::span(songDump).first(20'000));

    LibraryIndex index(indexFile());
    const IndexUpdate first = update(index);
    EXPECT_EQ(first.banksRead, 6);
    EXPECT_EQ(first.filesPassedOver, 2); // notes.txt, cut.syx
    const auto found = [&](const char* text) {
        const PatchCatalog catalog = index.catalog();
        return places(catalog, catalog.search(text, false));
    };
    const std::string b = banks().string();
    EXPECT_EQ(found("song"),
              (std::vector<std::string>{b + "/song.MID:4", b + "/two.syx, dump 1:4"}));
    EXPECT_EQ(found("gig"), std::vector<std::string>{b + "/two.syx, dump 2:1"});
    EXPECT_EQ(found("crunch"), (std::vector<std::string>{b + "/three-banks.zip › bank 1.syx:2",
                                                         b + "/three-banks.zip › bank 2.syx:2",
                                                         b + "/three-banks.zip › bank 3.syx:2"}));

    // Unchanged, nothing is read again: not even a file whose bytes changed
    // under the same size, time and inode.
    const auto zipTime = fs::last_write_time(zip);
    std::ofstream(zip, std::ios::in | std::ios::out | std::ios::binary)
        .write(std::vector<char>(fs::file_size(zip)).data(),
               static_cast<std::streamsize>(fs::file_size(zip)));
    fs::last_write_time(zip, zipTime);
    const IndexUpdate again = update(index);
    EXPECT_EQ(again.filesUnchanged, 5);
    EXPECT_EQ(again.banksRead + again.filesPassedOver + again.filesUnreadable, 0);
    EXPECT_EQ(found("crunch").size(), 3u);

    // Read again once changed, a file's banks are those it holds now.
    fs::last_write_time(zip, zipTime + std::chrono::seconds(1));
    const IndexUpdate changed = update(index);
    EXPECT_EQ(changed.filesPassedOver, 1);
    EXPECT_EQ(changed.filesUnchanged, 4);
    EXPECT_EQ(found("crunch").size(), 0u);
    EXPECT_EQ(index.catalog().bankCount(), 3u);
}

TEST_F(Library, AnIndexItCannotUseIsRebuiltFromTheFiles)
{
    test::writeBytes(banks() / "a.syx", bankWith({{1, u"Hall"}}).syxData());
    update(LibraryIndex(indexFile()));
    const std::vector<std::uint8_t> good = test::readBytes(indexFile());
    const struct
    {
        const char* what;
        std::function<void()> spoil;
    } spoilers[] = {
        {"garbage", [&] { test::writeBytes(indexFile(), std::vector<std::uint8_t>(5000, 0x5A)); }},
        {"truncated",
         [&] { test::writeBytes(indexFile(), std::span(good).first(good.size() / 2)); }},
        {"half its pages zeroed",
         [&] {
             std::vector<std::uint8_t> bad = good;
             std::fill(bad.begin() + 4096, bad.end(), 0);
             test::writeBytes(indexFile(), bad);
         }},
        {"from a later version",
         [&] {
             sqlite3* db = nullptr;
             sqlite3_open(indexFile().c_str(), &db);
             sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
    };
    for (const auto& spoiler : spoilers) {
        SCOPED_TRACE(spoiler.what);
        fs::remove(indexFile().string() + "-wal");
        test::writeBytes(indexFile(), good);
        spoiler.spoil();
        LibraryIndex index(indexFile());
        EXPECT_NE(index.rebuiltBecause(), "");
        EXPECT_EQ(index.catalog().bankCount(), 0u);
        EXPECT_EQ(update(index).banksRead, 1);
        EXPECT_EQ(index.catalog().search("hall", false).size(), 1u);
        EXPECT_EQ(LibraryIndex(indexFile()).rebuiltBecause(), ""); // told once
    }
}

TEST_F(Library, ACatalogShowsWhatAnotherProgramIndexedFirst)
{
    test::writeBytes(banks() / "a.syx", bankWith({{1, u"Hall"}}).syxData());
    LibraryIndex mine(indexFile());
    EXPECT_TRUE(mine.catalogIsOutdated()); // none made yet
    update(mine);
    EXPECT_EQ(mine.catalog().search("hall", false).size(), 1u);
    EXPECT_FALSE(mine.catalogIsOutdated());
    update(mine);
    EXPECT_FALSE(mine.catalogIsOutdated());

    // Another program reads the changed bank first: to this index the file
    // is then unchanged, but its catalog is not.
    test::writeBytes(banks() / "a.syx", bankWith({{1, u"Room"}}).syxData());
    update(LibraryIndex(indexFile()));
    EXPECT_EQ(update(mine).banksRead, 0);
    EXPECT_TRUE(mine.catalogIsOutdated());
    const PatchCatalog catalog = mine.catalog();
    EXPECT_EQ(catalog.search("room", false).size(), 1u);
    EXPECT_EQ(catalog.search("hall", false).size(), 0u);
    EXPECT_FALSE(mine.catalogIsOutdated());

    // A session hands on a catalog only when there is something new in it.
    IndexSession session(indexFile());
    EXPECT_TRUE(session.refresh(std::vector{banks()}).catalog);
    EXPECT_FALSE(session.refresh(std::vector{banks()}).catalog);
    update(mine); // a write of mine, as another program's, but changing nothing
    fs::remove(banks() / "a.syx");
    EXPECT_EQ(update(mine).filesRemoved, 1);
    const RefreshResult after = session.refresh(std::vector{banks()});
    ASSERT_TRUE(after.catalog);
    EXPECT_EQ(after.catalog->bankCount(), 0u);
}

TEST_F(Library, AFailureThatMayPassKeepsTheIndexForTheNextTry)
{
    test::writeBytes(banks() / "a.syx", bankWith({{1, u"Hall"}}).syxData());
    test::FaultyVfs disk; // before the index opens: each opens through it
    IndexSession session(indexFile());
    ASSERT_TRUE(session.refresh(std::vector{banks()}).updated.ok());
    const struct
    {
        int code;
        std::string reason;
    } faults[] = {{SQLITE_FULL, "database or disk is full"},
                  {SQLITE_IOERR_WRITE, "disk I/O error"},
                  {SQLITE_NOMEM, "out of memory"}};
    int banks = 1;
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.reason);
        test::writeBytes(this->banks() / (std::to_string(++banks) + ".syx"),
                         bankWith({}).syxData());
        disk.failWrites(fault.code);
        EXPECT_EQ(failureOf(session.refresh(std::vector{this->banks()})), fault.reason);
        disk.failWrites(SQLITE_OK);
        const RefreshResult next = session.refresh(std::vector{this->banks()});
        EXPECT_TRUE(next.updated.ok());
        EXPECT_EQ(next.rebuiltBecause, "");
        EXPECT_EQ(next.update.banksRead, 1);
        EXPECT_EQ(next.update.filesUnchanged, banks - 1); // none read again
    }

    // A file system remounted read-only: the index cannot even be opened
    // for writing, and stays as it is for when it can.
    disk.openReadOnly(true);
    IndexSession readOnly(indexFile());
    const RefreshResult refused = readOnly.refresh(std::vector{this->banks()});
    EXPECT_FALSE(refused.updated.ok());
    EXPECT_FALSE(refused.catalog);
    disk.openReadOnly(false);
    const RefreshResult later = readOnly.refresh(std::vector{this->banks()});
    EXPECT_TRUE(later.updated.ok());
    EXPECT_EQ(later.rebuiltBecause, "");
    EXPECT_EQ(later.update.filesUnchanged, banks);
}

TEST_F(Library, DamageFoundInUseMakesTheIndexAnewOnce)
{
    // More than SQLite keeps in memory, so that a catalog reads the disk.
    constexpr int kBanks = 400;
    for (int k = 0; k < kBanks; ++k) {
        test::writeBytes(banks() / (std::to_string(k) + ".syx"), bankWith({}).syxData());
    }
    test::FaultyVfs disk;
    IndexSession session(indexFile());
    ASSERT_TRUE(session.refresh(std::vector{banks()}).updated.ok());

    test::writeBytes(banks() / "new.syx", bankWith({}).syxData());
    disk.failReads(SQLITE_CORRUPT);
    EXPECT_EQ(failureOf(session.refresh(std::vector{banks()})), "database disk image is malformed");
    disk.failReads(SQLITE_OK);
    const RefreshResult mended = session.refresh(std::vector{banks()});
    EXPECT_TRUE(mended.updated.ok());
    EXPECT_EQ(mended.rebuiltBecause, "database disk image is malformed");
    EXPECT_EQ(mended.update.banksRead, kBanks + 1);

    // Once: after a failure that may pass, the new index is kept.
    test::writeBytes(banks() / "newer.syx", bankWith({}).syxData());
    disk.failWrites(SQLITE_FULL);
    EXPECT_FALSE(session.refresh(std::vector{banks()}).updated.ok());
    disk.failWrites(SQLITE_OK);
    const RefreshResult later = session.refresh(std::vector{banks()});
    EXPECT_EQ(later.rebuiltBecause, "");
    EXPECT_EQ(later.update.filesUnchanged, kBanks + 1);
}

TEST_F(Library, ADamagedIndexIsMadeAnewOnlyOnceNoOtherProgramHasItOpen)
{
    test::writeBytes(banks() / "a.syx", bankWith({{1, u"Hall"}}).syxData());
    auto other = std::make_unique<LibraryIndex>(indexFile());
    update(*other);
    // All of it into the database file, so that the damage shows at once.
    sqlite3* db = nullptr;
    sqlite3_open(indexFile().c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::vector<std::uint8_t> garbage(5000, 0x5A);
    test::writeBytes(indexFile(), garbage);

    {
        IndexSession session(indexFile());
        const RefreshResult refused = session.refresh(std::vector{banks()});
        EXPECT_NE(failureOf(refused).find("another program has it open"), std::string::npos)
            << failureOf(refused);
        EXPECT_EQ(test::readBytes(indexFile()), garbage);

        other.reset();
        const RefreshResult made = session.refresh(std::vector{banks()});
        EXPECT_TRUE(made.updated.ok());
        EXPECT_NE(made.rebuiltBecause, "");
        EXPECT_EQ(made.update.banksRead, 1);
    }

    // Damage found while in use is mended at the next opening, whatever a
    // look at the index would find.
    const LibraryIndex mended(indexFile(), "database disk image is malformed");
    EXPECT_EQ(mended.rebuiltBecause(), "database disk image is malformed");
    EXPECT_EQ(LibraryIndex(indexFile()).catalog().bankCount(), 0u);
}

TEST_F(Library, TwoWritersAtOnceWaitForEachOther)
{
    for (int k = 0; k < 600; ++k) {
        test::writeBytes(banks() / std::to_string(k / 100) / (std::to_string(k) + ".syx"),
                         bankWith({{1 + k % 100, u"Hall"}}).syxData());
    }
    LibraryIndex{indexFile()}; // the schema, made once, as by an earlier run
    std::atomic<int> banksRead{0};
    const auto write = [&] { banksRead += update(LibraryIndex(indexFile())).banksRead; };
    {
        const std::jthread first(write), second(write);
    }
    EXPECT_GE(banksRead, 600);
    EXPECT_EQ(LibraryIndex(indexFile()).catalog().search("hall", false).size(), 600u);
}

TEST_F(Library, PassesOverAHundredThousandOtherFiles)
{
    for (int k = 0; k < 100'000; ++k) {
        test::writeBytes(banks() / "clutter" / std::to_string(k), std::vector<std::uint8_t>(k % 3));
    }
    test::writeBytes(banks() / "a.syx", bankWith({}).syxData());
    const IndexUpdate result = update(LibraryIndex(indexFile()));
    EXPECT_EQ(result.banksRead, 1);
    EXPECT_EQ(result.filesPassedOver, 0); // not even opened: none has a bank's length
}

TEST(LibraryPlaces, KeepsFoldersAndReceivedBanksWhereTheAppLooks)
{
    TempDir dir;
    const mode_t umask = ::umask(022);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const LibraryPlaces places = LibraryPlaces::forCurrentUser();
    EXPECT_EQ(places.indexFile(), dir / "cache/A3 Librarian/library.sqlite3");
    EXPECT_TRUE(places.libraryFolders().empty());
    const std::vector<fs::path> folders{"/music/banks", "/home/me/A3 banks"};
    ASSERT_TRUE(places.setLibraryFolders(folders).ok());
    EXPECT_EQ(LibraryPlaces::forCurrentUser().libraryFolders(), folders);
    EXPECT_EQ(places.searchedFolders(), folders); // nothing received yet
    EXPECT_FALSE(places.setLibraryFolders(std::vector<fs::path>{"/a\nb"}).ok());
    EXPECT_EQ(places.libraryFolders(), folders);

    // Two banks in one second get two names; neither replaces anything.
    const auto time = std::chrono::system_clock::now();
    const std::vector<std::uint8_t> dumps[] = {bankWith({}).syxData(),
                                               bankWith({{1, u"Other"}}).syxData()};
    const Result<NewFile> first = keepReceivedBank(places.receivedFolder(), dumps[0], time);
    const Result<NewFile> second = keepReceivedBank(places.receivedFolder(), dumps[1], time);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_EQ(first->path.filename(), receivedBankName(time, 1));
    EXPECT_EQ(second->path.filename(), receivedBankName(time, 2));
    EXPECT_EQ(test::readBytes(first->path), dumps[0]);
    EXPECT_EQ(fs::status(first->path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read); // as any file the user makes, under umask 022
    EXPECT_EQ(test::readBytes(second->path), dumps[1]);
    EXPECT_EQ(places.searchedFolders().back(), dir / "data/A3 Librarian/Received");
    EXPECT_TRUE(first->written.durable);
    using namespace std::chrono;
    EXPECT_EQ(receivedBankName(sys_days{December / 7 / 2026} + 14h + 3min + 22s, 2).substr(14),
              "03.22 2.syx"); // the hour depends on the zone
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CACHE_HOME");
    ::umask(umask);
}

// The bank received may be the only copy of what the device held: kept, but
// said to be at risk, when its folder cannot be synced.
TEST(LibraryPlaces, AReceivedBankWhoseFolderCannotBeSyncedIsKeptWithTheReason)
{
    if (!test::withPreloaded(A3_FAILING_FOLDER_SYNC)) {
        return;
    }
    const TempDir dir;
    const std::vector<std::uint8_t> dump = bankWith({}).syxData();
    const Result<NewFile> kept =
        keepReceivedBank(dir / "Received", dump, std::chrono::system_clock::now());
    ASSERT_TRUE(kept.ok());
    EXPECT_FALSE(kept->written.durable);
    EXPECT_EQ(kept->written.whyNotDurable, "Input/output error");
    EXPECT_EQ(test::readBytes(kept->path), dump);
}

} // namespace
} // namespace a3::library
