// The dumps a file holds, whatever it is, each with the place a person is
// shown; and what a file without one is told.

#include "DumpsInFile.h"

#include "A3AllData.h"
#include "TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kData = A3_TEST_DATA_DIR;

// The places of the dumps found, joined by "; ".
std::string placesIn(const std::string& fileName, const DumpsInFile& found)
{
    std::string places;
    for (const DumpInFile& dump : found.dumps) {
        places += (places.empty() ? "" : "; ") + describePlace(fileName, dump.place);
    }
    return places;
}

TEST(DumpsInFile, FindsEveryDumpOfEachKindOfFileWithItsPlace)
{
    const std::vector<std::uint8_t> factory = test::readBytes(kData / "factory-bank.syx");
    const struct
    {
        std::filesystem::path file;
        bool bare;
        std::string places;
        std::size_t cut;
        std::string holds;
    } cases[] = {
        {"factory-bank.syx", true, "f", 0, "an All-Data dump"},
        {"scan/format0.mid", false, "f", 0, "1 All-Data dump in a MIDI file"},
        {"scan/format2-two-dumps.mid", false, "f, dump 1; f, dump 2", 0,
         "2 All-Data dumps in a MIDI file"},
        {"archives/three-banks.zip", false, "f › bank 1.syx; f › bank 2.syx; f › bank 3.syx", 0,
         "3 All-Data dumps in a zip archive with 4 files"},
        {"archives/songs.tgz", false, "f › song.mid, dump 1; f › song.mid, dump 2", 1,
         "2 All-Data dumps in a gzip-compressed tar archive with 2 files. 1 dump is cut short"},
        {"archives/short.tar", false, "", 0,
         "a tar archive with 2 files, none holding an All-Data dump"},
        {"scan/other-sysex.mid", false, "", 0,
         "a MIDI file with 3 SysEx messages, none of them an All-Data dump"},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.file.string());
        const Result<DumpsInFile> read = dumpsInFile(kData / expected.file);
        ASSERT_TRUE(read.ok()) << read.failure().reason;
        const DumpsInFile& found = *read;
        EXPECT_EQ(found.bareDump, expected.bare);
        EXPECT_EQ(placesIn("f", found), expected.places);
        EXPECT_EQ(found.cutDumps.size(), expected.cut);
        EXPECT_EQ(found.holds, expected.holds);
        for (const DumpInFile& dump : found.dumps) {
            EXPECT_EQ(dump.bytes, factory); // as found, byte for byte
        }
    }
}

TEST(DumpsInFile, AFileThatIsNothingElseIsToldWhatKeepsItFromBeingABank)
{
    std::vector<std::uint8_t> wrongHeader = test::readBytes(kData / "factory-bank.syx");
    wrongHeader[1] = 0x43;
    const struct
    {
        std::vector<std::uint8_t> bytes;
        std::string holds;
    } cases[] = {
        {{}, "wrong length: 0 bytes, expected 29198"},
        {std::vector<std::uint8_t>(10, 0x20), "wrong length: 10 bytes, expected 29198"},
        {wrongHeader, "wrong header: byte 1 is 0x43, expected 0x42"},
    };
    for (const auto& expected : cases) {
        const DumpsInFile found = dumpsInBytes(expected.bytes);
        EXPECT_TRUE(found.dumps.empty());
        EXPECT_FALSE(found.bareDump);
        EXPECT_EQ(found.holds, expected.holds);
    }
}

TEST(DumpsInFile, ACutDumpIsKeptForRecoveryWithItsPlace)
{
    std::vector<std::uint8_t> bytes = test::readBytes(kData / "factory-bank.syx");
    bytes.resize(20000);
    const DumpsInFile found = dumpsInBytes(bytes);
    EXPECT_TRUE(found.dumps.empty());
    ASSERT_EQ(found.cutDumps.size(), 1u);
    EXPECT_EQ(found.cutDumps[0].cut.bytes, bytes);
    EXPECT_EQ(describePlace("cut.syx", found.cutDumps[0].place), "cut.syx");

    // A dump followed by half of another: the cut one is the second there.
    std::vector<std::uint8_t> twice = test::readBytes(kData / "factory-bank.syx");
    twice.insert(twice.end(), twice.begin(), twice.begin() + 14599);
    const DumpsInFile second = dumpsInBytes(twice);
    ASSERT_EQ(second.dumps.size(), 1u);
    ASSERT_EQ(second.cutDumps.size(), 1u);
    EXPECT_EQ(describePlace("x.syx", second.dumps[0].place), "x.syx, dump 1");
    EXPECT_EQ(describePlace("x.syx", second.cutDumps[0].place), "x.syx, dump 2");
}

// Neither a FIFO nor a huge file is read or waited on.
TEST(DumpsInFile, WhatCannotHoldBanksIsRefusedAtOnceWithoutBeingRead)
{
    const test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    {
        const int fd = ::open((dir / "huge.mid").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{3} << 30), 0); // sparse: nothing to read but its size
        ::close(fd);
    }
    const auto started = std::chrono::steady_clock::now();
    const Result<DumpsInFile> fifo = dumpsInFile(dir / "fifo");
    ASSERT_FALSE(fifo.ok());
    EXPECT_EQ(fifo.failure().reason, "Not a regular file");
    const Result<DumpsInFile> huge = dumpsInFile(dir / "huge.mid");
    ASSERT_TRUE(huge.ok());
    EXPECT_EQ(huge->holds, "too large to hold banks (3221225472 bytes; at most 67108864 are read)");
    const Result<DumpsInFile> missing = dumpsInFile(dir / "missing.syx");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure().reason, "No such file or directory");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

} // namespace
} // namespace a3
