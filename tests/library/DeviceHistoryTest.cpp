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

std::vector<std::string> names(const std::vector<ReceivedFile>& files)
{
    std::vector<std::string> listed;
    for (const ReceivedFile& file : files) {
        listed.push_back(file.path.filename().string());
    }
    return listed;
}

TEST(DeviceHistory, ListsEveryFileNewestFirstAndTellsWhyOneIsNoBank)
{
    const TempDir dir;
    const fs::path received = dir / "Received";
    const auto read = readDeviceHistory(received);
    ASSERT_TRUE(read.ok()); // nothing received yet
    EXPECT_TRUE(read->empty());

    const auto write = [&](const std::string& name, A3AllDataSource bank) {
        test::writeBytes(received / name, bank.syxData());
    };
    const auto setTime = [&](const std::string& name, std::chrono::system_clock::time_point time) {
        fs::last_write_time(received / name, std::chrono::file_clock::from_sys(time));
    };
    write("2026-12-07 14.03.22.syx", bankWith({{1, u"First"}}));
    write("2026-12-07 14.03.22 2.syx", bankWith({{1, u"Second"}}));
    write("2026-12-07 14.03.22 10.syx", bankWith({{1, u"Tenth"}}));
    test::writeBytes(received / "2026-12-06 09.00.00.syx", std::vector<std::uint8_t>(10, 0xF0));
    // Copied in by hand: its time is the file's, the day after.
    write("from a friend.syx", bankWith({{1, u"Friend"}}));
    const auto named = arrivalFromName("2026-12-07 14.03.22.syx");
    ASSERT_TRUE(named.has_value());
    setTime("from a friend.syx", named->time + std::chrono::hours(24));
    write(".hidden.syx", bankWith({}));
    write("folder/2026-12-09 10.00.00.syx", bankWith({}));

    const auto history = readDeviceHistory(received);
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
    fs::remove(received / "2026-12-06 09.00.00.syx");
    const auto again = readDeviceHistory(received, files);
    ASSERT_TRUE(again.ok());
    std::vector<std::string> left = names(files);
    left.pop_back();
    ASSERT_EQ(names(*again), left);
    EXPECT_EQ((*again)[1].bank.get(), files[1].bank.get());
    EXPECT_EQ((*again)[2].bank->patchNameAt(0), "Changed");
}

// A bank over chain data of its own, patch 1 playing it (C2) or not.
A3AllDataSource bankOver(std::uint8_t chainByte, std::uint8_t patchOneChain = 130)
{
    A3AllDataSource bank = bankWith({});
    A3AllData record = bank.data();
    record.patch[0][0] = patchOneChain;
    record.chain[100] = chainByte;
    bank.setData(record);
    (void)bank.syxData(); // the chain ID of that chain data
    return bank;
}

void flip(A3AllDataSource& bank, int number, std::size_t offset)
{
    std::vector<std::uint8_t> patch = bank.patchDataAt(number - 1);
    patch[offset] ^= 1;
    bank.setPatchData(patch, number - 1);
}

std::vector<std::pair<int, Kind>> kinds(const BankChanges& changes)
{
    std::vector<std::pair<int, Kind>> listed;
    for (const PatchChange& patch : changes.patches) {
        listed.emplace_back(patch.number, patch.kind);
    }
    return listed;
}

TEST(BankChanges, TellsRenamesFromNewSoundsAndFollowsTheChainData)
{
    const A3AllDataSource before = bankOver(1);
    EXPECT_TRUE(changesBetween(before, bankOver(1)).identical());

    A3AllDataSource after = bankOver(1);
    after.setPatchName(u"Renamed", 2);
    flip(after, 5, kPatchSize - 1);
    // The bytes either side of the name are the sound's.
    flip(after, 7, kPatchNameOffset - 1);
    flip(after, 8, kPatchNameOffset + kPatchNameLength);
    const BankChanges changes = changesBetween(before, after);
    EXPECT_FALSE(changes.chainDataDiffers);
    EXPECT_EQ(kinds(changes),
              (std::vector<std::pair<int, Kind>>{
                  {3, Kind::Renamed}, {5, Kind::Sound}, {7, Kind::Sound}, {8, Kind::Sound}}));

    // Other chain data: new bytes; the same bytes moved about, which keeps
    // the chain ID; or the same bytes under another ID stored with them.
    A3AllDataSource moved = before;
    A3AllData record = moved.data();
    std::swap(record.chain[100], record.chain[101]);
    moved.setData(record);
    (void)moved.syxData();
    ASSERT_EQ(moved.chainChecksum(), before.chainChecksum());
    A3AllDataSource restamped = before;
    record = restamped.data();
    record.checksum[0] ^= 1;
    restamped.setData(record);
    A3AllDataSource newSound = bankOver(2);
    flip(newSound, 1, kPatchSize - 1);
    for (const auto& [other, kind] : {std::pair{bankOver(2), Kind::ChainData},
                                      {moved, Kind::ChainData},
                                      {restamped, Kind::ChainData},
                                      {newSound, Kind::Sound}}) {
        const BankChanges chained = changesBetween(before, other);
        EXPECT_TRUE(chained.chainDataDiffers);
        // Patch 1 alone plays the chain data.
        EXPECT_EQ(kinds(chained), (std::vector<std::pair<int, Kind>>{{1, kind}}));
    }

    // The chain data alone, when no patch plays it.
    const BankChanges alone = changesBetween(bankOver(1, 5), bankOver(2, 5));
    EXPECT_TRUE(alone.chainDataDiffers);
    EXPECT_TRUE(alone.patches.empty());
    EXPECT_FALSE(alone.identical());
}

} // namespace
} // namespace a3::library
