#include "DeviceHistory.h"

#include "LibraryPlaces.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace a3::library {
namespace {

using test::bankWith;
using test::TempDir;
namespace fs = std::filesystem;
using Kind = PatchChange::Kind;

TEST(DeviceHistory, ReadsTheArrivalBackFromTheNamesReceivedBanksGet)
{
    const std::chrono::system_clock::time_point now =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    for (const auto time : {now, std::chrono::system_clock::from_time_t(1'800'000'000)}) {
        for (const int attempt : {1, 2, 10}) {
            const std::string name = receivedBankName(time, attempt);
            SCOPED_TRACE(name);
            const auto read = arrivalFromName(name);
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(read->time, time);
            EXPECT_EQ(read->attempt, attempt);
        }
    }
    // Names the app never gives: their files' times count instead.
    for (const char* name :
         {"bank.syx", "2026-02-30 10.00.00.syx", "2026-12-07 24.00.00.syx",
          "2026-12-07 14.03.22 1.syx", "2026-12-07 14.03.22 02.syx", "2026-12-07 14.03.22 .syx",
          "2026-12-07 14.03.22 copy.syx", "2026-12-07 14.03.22.SYX", "2026-12-07 14:03:22.syx",
          "2026-12-07 14.03.2x.syx", "2026-12-07 14.03.22.syx.bak", " 2026-12-07 14.03.22.syx"}) {
        EXPECT_FALSE(arrivalFromName(name).has_value()) << name;
    }
}

class DeviceHistoryFolder : public testing::Test
{
protected:
    fs::path received() const { return _dir / "Received"; }
    void write(const std::string& name, const A3AllDataSource& bank)
    {
        A3AllDataSource copy = bank;
        test::writeBytes(received() / name, copy.syxData());
    }
    void setTime(const std::string& name, std::chrono::system_clock::time_point time)
    {
        fs::last_write_time(received() / name, std::chrono::file_clock::from_sys(time));
    }
    static std::vector<std::string> names(const std::vector<ReceivedFile>& files)
    {
        std::vector<std::string> listed;
        for (const ReceivedFile& file : files) {
            listed.push_back(file.path.filename().string());
        }
        return listed;
    }

    TempDir _dir;
};

TEST_F(DeviceHistoryFolder, ListsEveryFileNewestFirstAndTellsWhyOneIsNoBank)
{
    const auto read = readDeviceHistory(received());
    ASSERT_TRUE(read.ok()); // nothing received yet
    EXPECT_TRUE(read->empty());

    write("2026-12-07 14.03.22.syx", bankWith({{1, u"First"}}));
    write("2026-12-07 14.03.22 2.syx", bankWith({{1, u"Second"}}));
    write("2026-12-07 14.03.22 10.syx", bankWith({{1, u"Tenth"}}));
    test::writeBytes(received() / "2026-12-06 09.00.00.syx", std::vector<std::uint8_t>(10, 0xF0));
    // Copied in by hand: its time is the file's, the day after.
    write("from a friend.syx", bankWith({{1, u"Friend"}}));
    const auto named = arrivalFromName("2026-12-07 14.03.22.syx");
    ASSERT_TRUE(named.has_value());
    setTime("from a friend.syx", named->time + std::chrono::hours(24));
    write(".hidden.syx", bankWith({}));
    write("folder/2026-12-09 10.00.00.syx", bankWith({}));

    const auto history = readDeviceHistory(received());
    ASSERT_TRUE(history.ok());
    const std::vector<ReceivedFile>& files = *history;
    EXPECT_EQ(names(files),
              (std::vector<std::string>{"from a friend.syx", "2026-12-07 14.03.22 10.syx",
                                        "2026-12-07 14.03.22 2.syx", "2026-12-07 14.03.22.syx",
                                        "2026-12-06 09.00.00.syx"}));
    ASSERT_EQ(files.size(), 5u);
    EXPECT_FALSE(files[0].arrivalFromName);
    EXPECT_EQ(files[0].arrived, named->time + std::chrono::hours(24));
    EXPECT_TRUE(files[1].arrivalFromName);
    EXPECT_EQ(files[3].arrived, named->time);
    ASSERT_TRUE(files[1].bank);
    EXPECT_EQ(files[1].bank->patchNameAt(0), "Tenth  ");
    EXPECT_FALSE(files[4].bank);
    EXPECT_EQ(files[4].problem, "wrong length: 10 bytes, expected 29198");

    // Each bank against the one received before it; the oldest bank has none,
    // as the file before it is no bank.
    EXPECT_EQ(bankBefore(files, 0), 1u);
    EXPECT_EQ(bankBefore(files, 2), 3u);
    EXPECT_EQ(bankBefore(files, 3), std::nullopt);
    EXPECT_EQ(bankBefore(files, 4), std::nullopt);

    // Read again: what did not change is not read again, what changed is.
    write("2026-12-07 14.03.22 2.syx", bankWith({{1, u"Changed"}}));
    setTime("2026-12-07 14.03.22 2.syx", named->time - std::chrono::hours(1));
    fs::remove(received() / "2026-12-06 09.00.00.syx");
    const auto again = readDeviceHistory(received(), files);
    ASSERT_TRUE(again.ok());
    std::vector<std::string> left = names(files);
    left.pop_back();
    ASSERT_EQ(names(*again), left);
    EXPECT_EQ((*again)[1].bank.get(), files[1].bank.get());
    EXPECT_EQ((*again)[2].bank->patchNameAt(0), "Changed");
}

// Two banks made from the fallback bank: patch 1 plays the chain data.
class BankChangesTest : public testing::Test
{
protected:
    static A3AllDataSource bank(std::uint8_t chainByte)
    {
        A3AllDataSource made = bankWith({{1, u"Chained"}});
        A3AllData record = made.data();
        record.patch[0][0] = 130;
        record.patch[1][0] = 5;
        record.chain[100] = chainByte;
        made.setData(record);
        (void)made.syxData(); // the chain ID of that chain data
        return made;
    }

    A3AllDataSource before = bank(1);
    A3AllDataSource after = bank(1);
};

TEST_F(BankChangesTest, TellsRenamesFromNewSoundsPatchByPatch)
{
    EXPECT_TRUE(changesBetween(before, after).identical());

    after.setPatchName(u"Renamed", 2);
    std::vector<std::uint8_t> patch = after.patchDataAt(4);
    patch.back() ^= 1;
    after.setPatchData(patch, 4);
    patch = after.patchDataAt(6);
    patch[kPatchNameOffset - 1] ^= 1; // the bytes either side of the name are the sound's
    after.setPatchData(patch, 6);
    after.setPatchName(u"NewName", 6);
    patch = after.patchDataAt(7);
    patch[kPatchNameOffset + kPatchNameLength] ^= 1;
    after.setPatchData(patch, 7);

    const BankChanges changes = changesBetween(before, after);
    EXPECT_FALSE(changes.chainDataDiffers);
    ASSERT_EQ(changes.patches.size(), 4u);
    const auto& renamed = changes.patches[0];
    EXPECT_EQ(renamed.number, 3);
    EXPECT_EQ(renamed.kind, Kind::Renamed);
    EXPECT_EQ(renamed.nameBefore, before.patchNameAt(2));
    EXPECT_EQ(renamed.nameAfter, "Renamed");
    EXPECT_EQ(changes.patches[1].number, 5);
    EXPECT_EQ(changes.patches[1].kind, Kind::Sound);
    EXPECT_EQ(changes.patches[2].number, 7);
    EXPECT_EQ(changes.patches[2].kind, Kind::Sound);
    EXPECT_EQ(changes.patches[2].nameAfter, "NewName");
    EXPECT_EQ(changes.patches[3].number, 8);
    EXPECT_EQ(changes.patches[3].kind, Kind::Sound);
}

TEST_F(BankChangesTest, NewChainDataChangesThePatchesThatPlayIt)
{
    const auto chainChanges = [this](const A3AllDataSource& other) {
        const BankChanges changes = changesBetween(before, other);
        EXPECT_TRUE(changes.chainDataDiffers);
        EXPECT_FALSE(changes.identical());
        // Patch 2 (chain 5) and the rest do not play the chain data.
        EXPECT_EQ(changes.patches.size(), 1u);
        return changes.patches.empty() ? PatchChange{} : changes.patches[0];
    };

    const A3AllDataSource otherChain = bank(2);
    const PatchChange chained = chainChanges(otherChain);
    EXPECT_EQ(chained.number, 1);
    EXPECT_EQ(chained.kind, Kind::ChainData);
    EXPECT_NE(changesBetween(before, otherChain).chainIdAfter,
              changesBetween(before, otherChain).chainIdBefore);

    // Other chain data of the same chain ID, its bytes moved about.
    A3AllDataSource moved = bank(1);
    A3AllData record = moved.data();
    std::swap(record.chain[100], record.chain[101]);
    ASSERT_NE(record.chain, before.data().chain);
    moved.setData(record);
    (void)moved.syxData();
    ASSERT_EQ(moved.chainChecksum(), before.chainChecksum());
    EXPECT_EQ(chainChanges(moved).kind, Kind::ChainData);

    // The same chain data, but another chain ID stored with it.
    A3AllDataSource restamped = bank(1);
    record = restamped.data();
    record.checksum[0] ^= 1;
    restamped.setData(record);
    EXPECT_EQ(chainChanges(restamped).kind, Kind::ChainData);

    // A new sound over new chain data is told as a new sound.
    A3AllDataSource both = bank(2);
    std::vector<std::uint8_t> patch = both.patchDataAt(0);
    patch.back() ^= 1;
    both.setPatchData(patch, 0);
    EXPECT_EQ(chainChanges(both).kind, Kind::Sound);

    // The chain data alone, when no patch plays it.
    record = before.data();
    record.patch[0][0] = 5;
    before.setData(record);
    A3AllDataSource unplayed = bank(2);
    record = unplayed.data();
    record.patch[0][0] = 5;
    unplayed.setData(record);
    const BankChanges alone = changesBetween(before, unplayed);
    EXPECT_TRUE(alone.chainDataDiffers);
    EXPECT_TRUE(alone.patches.empty());
    EXPECT_FALSE(alone.identical());
}

} // namespace
} // namespace a3::library
