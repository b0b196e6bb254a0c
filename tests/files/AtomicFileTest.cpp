// Writing a file whole or not at all: the old file survives every failure,
// each failure says the system's reason, and no temporary file stays.

#include "AtomicFile.h"

#include "Isolation.h"
#include "TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kOld(100, 0x01);

std::vector<std::uint8_t> newBytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 13);
    }
    return bytes;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

struct FullDisk
{
    std::string name;
    std::string tmpfsOptions;
    std::size_t newSize;
    std::uintmax_t room;  // bytes left before the write, or 0 to leave the disk as it is
    std::string expected; // the reason, or empty when the new file fits
};

void PrintTo(const FullDisk& disk, std::ostream* out)
{
    *out << disk.name;
}

class FullDisks : public ::testing::TestWithParam<FullDisk>
{};

TEST_P(FullDisks, LeaveTheOldFileWholeAndSaySo)
{
    const FullDisk& disk = GetParam();
    const auto folder = test::onSmallDisk(disk.tmpfsOptions);
    if (!folder) {
        return;
    }
    test::writeBytes(*folder / "bank.syx", kOld);
    std::vector<std::string> expectedNames{"bank.syx"};
    if (disk.room > 0) {
        test::fillUpTo(*folder, disk.room);
        expectedNames.emplace_back("filler");
    }
    EXPECT_EQ(disk.expected, writeFileAtomically(*folder / "bank.syx", newBytes(disk.newSize)));
    EXPECT_EQ(disk.expected.empty() ? newBytes(disk.newSize) : kOld,
              test::readBytes(*folder / "bank.syx"));
    EXPECT_EQ(expectedNames, namesIn(*folder));
}

// tmpfs counts its root folder as one of its inodes and gives room in pages.
INSTANTIATE_TEST_SUITE_P(
    Tmpfs, FullDisks,
    ::testing::Values(
        FullDisk{"NoInodeForTheTemporaryFile", "size=64k,nr_inodes=2", 10, 0,
                 "No space left on device"},
        FullDisk{"AtTheFirstWrite", "size=16k", 64 * 1024, 0, "No space left on device"},
        FullDisk{"AtTheLastByte", "size=32k", 3 * 4096 + 1, 3 * 4096, "No space left on device"},
        FullDisk{"ExactlyTheRoomLeft", "size=32k", 3 * 4096, 3 * 4096, ""}),
    [](const auto& param) { return param.param.name; });

TEST(AtomicFile, SavesANameAtTheSystemsLimitAgainAndAgain)
{
    const test::TempDir dir;
    const std::string name = std::string(246, 'n') + ".syx"; // 250 bytes
    for (std::size_t size : {std::size_t{10}, std::size_t{20}}) {
        ASSERT_EQ("", writeFileAtomically(dir / name, newBytes(size))) << size;
        EXPECT_EQ(newBytes(size), test::readBytes(dir / name));
    }
    EXPECT_EQ(std::vector<std::string>{name}, namesIn(dir.path()));
}

TEST(AtomicFile, KeepsTheTargetsPermissionsAndGivesANewFileTheUsualOnes)
{
    const test::TempDir dir;
    test::writeBytes(dir / "private.syx", kOld);
    fs::permissions(dir / "private.syx",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ("", writeFileAtomically(dir / "private.syx", newBytes(5)));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
              fs::status(dir / "private.syx").permissions());

    const mode_t previous = ::umask(022);
    ASSERT_EQ("", writeFileAtomically(dir / "new.syx", newBytes(5)));
    ::umask(previous);
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read,
              fs::status(dir / "new.syx").permissions());
}

TEST(AtomicFile, WritesThroughASymbolicLinkAndKeepsTheLink)
{
    const test::TempDir dir;
    fs::create_directory(dir / "real");
    test::writeBytes(dir / "real" / "bank.syx", kOld);
    fs::create_symlink("real/bank.syx", dir / "link.syx");
    fs::create_symlink("link.syx", dir / "link-to-link.syx");
    fs::create_symlink("real/new.syx", dir / "dangling.syx");

    ASSERT_EQ("", writeFileAtomically(dir / "link-to-link.syx", newBytes(7)));
    ASSERT_EQ("", writeFileAtomically(dir / "dangling.syx", newBytes(8)));
    EXPECT_TRUE(fs::is_symlink(dir / "link.syx"));
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-link.syx"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.syx"));
    EXPECT_EQ(newBytes(7), test::readBytes(dir / "real" / "bank.syx"));
    EXPECT_EQ(newBytes(8), test::readBytes(dir / "real" / "new.syx"));
    EXPECT_EQ((std::vector<std::string>{"bank.syx", "new.syx"}), namesIn(dir / "real"));
}

TEST(AtomicFile, RefusesWhatItCannotReplaceWithTheSystemsReason)
{
    const test::TempDir dir;
    fs::create_directory(dir / "folder");
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    for (const auto& [name, reason] :
         {std::pair<std::string, std::string>{"folder", "Is a directory"},
          {"missing/bank.syx", "No such file or directory"},
          {std::string(256, 'n'), "File name too long"},
          {"loop-a", "Too many levels of symbolic links"}}) {
        EXPECT_EQ(reason, whyFileCannotBeWritten(dir / name));
        EXPECT_EQ(reason, writeFileAtomically(dir / name, newBytes(1)));
    }
    EXPECT_EQ("", whyFileCannotBeWritten(dir / "new.syx"));
    EXPECT_EQ((std::vector<std::string>{"folder", "loop-a", "loop-b"}), namesIn(dir.path()));
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

TEST(AtomicFile, LeavesAFileInAReadOnlyFolderAlone)
{
    if (!test::withoutPrivileges()) {
        return;
    }
    const test::TempDir dir;
    test::writeBytes(dir / "bank.syx", kOld);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ("Permission denied", whyFileCannotBeWritten(dir / "bank.syx"));
    EXPECT_EQ("Permission denied", writeFileAtomically(dir / "bank.syx", newBytes(5)));
    EXPECT_EQ(kOld, test::readBytes(dir / "bank.syx"));
    EXPECT_EQ(std::vector<std::string>{"bank.syx"}, namesIn(dir.path()));
}

} // namespace
} // namespace a3
