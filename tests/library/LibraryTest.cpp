#include "Isolation.h"
#include "LibraryIndex.h"
#include "LibraryPlaces.h"
#include "PatchCatalog.h"
#include "TempDir.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>

namespace a3::library {
namespace {

using test::bankWith;
using test::TempDir;
namespace fs = std::filesystem;

void addToCatalog(PatchCatalog& catalog, const std::string& path, const A3AllDataSource& bank)
{
    catalog.addBank({path, bank.chainChecksum(), false},
                    std::bit_cast<std::array<std::uint8_t, kBankPatchBytes>>(bank.data().patch));
}

// "file:number" of each patch, as a test states what it expects.
std::vector<std::string> places(const PatchCatalog& catalog,
                                const std::vector<PatchCatalog::PatchId>& patches)
{
    std::vector<std::string> result;
    for (const auto patch : patches) {
        result.push_back(catalog.bank(patch).path + ":" + std::to_string(catalog.row(patch) + 1));
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
    test::writeBytes(_dir / "banks/short.syx", std::vector<std::uint8_t>(100));
    fs::create_directory_symlink("..", _dir / "banks/deep/loop");
    fs::create_directory_symlink(_dir / "banks/deep", _dir / "banks/shortcut");
    test::writeBytes(_dir / "other/three.syx", bankWith({}).syxData());
    fs::create_directory_symlink(_dir / "other", _dir / "banks/linked");

    EXPECT_EQ(walked({_dir / "banks", _dir / "missing"}),
              (std::vector<std::string>{"banks/deep/er/two.SYX", "banks/linked/three.syx",
                                        "banks/one.syx"}));
    EXPECT_EQ(_walk.loopsSkipped, 2); // deep/loop back up, and shortcut to deep seen before
    ASSERT_EQ(_walk.unreadableFolders.size(), 1u);
    EXPECT_EQ(_walk.unreadableFolders[0].reason, "No such file or directory");

    test::writeBytes(_dir / "banks/locked/hidden.syx", bankWith({}).syxData());
    fs::permissions(_dir / "banks/locked", fs::perms::none);
    if (test::withoutPrivileges(_dir.path())) {
        EXPECT_EQ(walked({_dir / "banks"}).size(), 3u);
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
    const std::optional<BankSummary> bank = readBank(_dir / "bank.syx", identity).bank;
    unsetenv("A3_REPLACE_DURING_READ");
    ASSERT_TRUE(bank);
    EXPECT_FALSE(bank->hasDefects);
    EXPECT_EQ(patchName(std::span(bank->patches).first<kPatchSize>()), "After  ");
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
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const LibraryPlaces places = LibraryPlaces::forCurrentUser();
    EXPECT_EQ(places.indexFile(), dir / "cache/A3 Librarian/library.sqlite3");
    EXPECT_TRUE(places.libraryFolders().empty());
    const std::vector<fs::path> folders{"/music/banks", "/home/me/A3 banks"};
    ASSERT_TRUE(places.setLibraryFolders(folders).written());
    EXPECT_EQ(LibraryPlaces::forCurrentUser().libraryFolders(), folders);
    EXPECT_EQ(places.searchedFolders(), folders); // nothing received yet
    EXPECT_FALSE(places.setLibraryFolders(std::vector<fs::path>{"/a\nb"}).written());
    EXPECT_EQ(places.libraryFolders(), folders);

    // Two banks in one second get two names; neither replaces anything.
    const auto time = std::chrono::system_clock::now();
    const std::vector<std::uint8_t> dumps[] = {bankWith({}).syxData(),
                                               bankWith({{1, u"Other"}}).syxData()};
    const KeptBank first = keepReceivedBank(places.receivedFolder(), dumps[0], time);
    const KeptBank second = keepReceivedBank(places.receivedFolder(), dumps[1], time);
    EXPECT_EQ(first.path.filename(), receivedBankName(time, 1));
    EXPECT_EQ(second.path.filename(), receivedBankName(time, 2));
    EXPECT_EQ(test::readBytes(first.path), dumps[0]);
    EXPECT_EQ(test::readBytes(second.path), dumps[1]);
    EXPECT_EQ(places.searchedFolders().back(), dir / "data/A3 Librarian/Received");
    using namespace std::chrono;
    EXPECT_EQ(receivedBankName(sys_days{December / 7 / 2026} + 14h + 3min + 22s, 2).substr(14),
              "03.22 2.syx"); // the hour depends on the zone
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CACHE_HOME");
}

} // namespace
} // namespace a3::library
