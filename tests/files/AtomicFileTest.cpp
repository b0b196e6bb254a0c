// Writing a file whole or not at all: the old file survives every failure,
// each failure says the system's reason, and no temporary file stays.

#include "AtomicFile.h"

#include "Isolation.h"
#include "TempDir.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

const Bytes kOld(100, 0x01);

Bytes newBytes(std::size_t size)
{
    Bytes bytes(size);
    std::ranges::generate(bytes, [i = 0]() mutable { return static_cast<std::uint8_t>(13 * i++); });
    return bytes;
}

// Why a write failed; empty when it did not.
template <typename Written>
std::string reasonOf(const Result<Written>& result)
{
    return result.ok() ? std::string() : result.failure().reason;
}

std::string reasonOf(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    return reasonOf(writeFileAtomically(path, bytes));
}

struct FullDisk
{
    std::string name;
    std::string tmpfsOptions;
    std::size_t newSize;
    std::uintmax_t room;  // bytes left before the write, or 0 to leave the disk as it is
    std::string expected; // the reason, or empty when the new file fits
};

using FullDisks = ::testing::TestWithParam<FullDisk>;

TEST_P(FullDisks, LeaveTheOldFileWholeAndSaySo)
{
    const FullDisk& disk = GetParam();
    const auto folder = test::onSmallDisk(disk.tmpfsOptions);
    if (!folder) {
        return;
    }
    test::writeBytes(*folder / "bank.syx", kOld);
    Names expectedNames{"bank.syx"};
    if (disk.room > 0) {
        test::fillUpTo(*folder, disk.room);
        expectedNames.emplace_back("filler");
    }
    EXPECT_EQ(disk.expected, reasonOf(*folder / "bank.syx", newBytes(disk.newSize)));
    EXPECT_EQ(disk.expected.empty() ? newBytes(disk.newSize) : kOld,
              test::readBytes(*folder / "bank.syx"));
    EXPECT_EQ(expectedNames, test::namesIn(*folder));
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

// A new file gets the usual permissions; its name may be as long as the
// system allows and saved again and again.
TEST(AtomicFile, SavesANewFileWithTheUsualPermissionsAndANameAtTheSystemsLimit)
{
    const test::TempDir dir;
    const std::string name = std::string(246, 'n') + ".syx"; // 250 bytes
    const mode_t previous = ::umask(022);
    for (std::size_t size : {std::size_t{10}, std::size_t{20}}) {
        EXPECT_EQ("", reasonOf(dir / name, newBytes(size))) << size;
        EXPECT_EQ(newBytes(size), test::readBytes(dir / name));
    }
    ::umask(previous);
    EXPECT_EQ(Names{name}, test::namesIn(dir.path()));
    EXPECT_EQ(fs::perms(0644), fs::status(dir / name).permissions());
}

TEST(AtomicFile, WritesThroughASymbolicLinkAndKeepsTheLink)
{
    const test::TempDir dir;
    test::writeBytes(dir / "real" / "bank.syx", kOld);
    fs::create_symlink("real/bank.syx", dir / "link.syx");
    fs::create_symlink("link.syx", dir / "link-to-link.syx");
    fs::create_symlink("real/new.syx", dir / "dangling.syx");
    ASSERT_EQ("", reasonOf(dir / "link-to-link.syx", newBytes(7)));
    ASSERT_EQ("", reasonOf(dir / "dangling.syx", newBytes(8)));
    for (const char* link : {"link.syx", "link-to-link.syx", "dangling.syx"}) {
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    }
    EXPECT_EQ(newBytes(7), test::readBytes(dir / "real" / "bank.syx"));
    EXPECT_EQ(newBytes(8), test::readBytes(dir / "real" / "new.syx"));
    EXPECT_EQ((Names{"bank.syx", "new.syx"}), test::namesIn(dir / "real"));
}

// Without privileges, so that a file or folder may be one the test may not
// write. As root, a device node stands for /dev/null, which must stay one.
TEST(AtomicFile, RefusesWhatItCannotReplaceWithTheSystemsReasonAndLeavesItAlone)
{
    const test::TempDir dir;
    const bool device = ::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
    if (!test::withoutPrivileges(dir.path())) {
        return;
    }
    fs::create_directory(dir / "folder");
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0666));
    test::writeBytes(dir / "read-only" / "bank.syx", kOld);
    fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
    test::writeBytes(dir / "locked.syx", kOld);
    fs::permissions(dir / "locked.syx", fs::perms::owner_read | fs::perms::group_read);
    for (const auto& [name, reason] :
         {std::pair<std::string, std::string>{"folder", "Is a directory"},
          {"missing/bank.syx", "No such file or directory"},
          {std::string(256, 'n'), "File name too long"},
          {"loop-a", "Too many levels of symbolic links"},
          {"fifo", "Not a regular file"},
          {device ? "null" : "fifo", "Not a regular file"},
          {"read-only/bank.syx", "Permission denied"},
          {"locked.syx", "Permission denied"}}) {
        EXPECT_EQ(reason, reasonOf(checkFileCanBeWritten(dir / name))) << name;
        EXPECT_EQ(reason, reasonOf(dir / name, newBytes(1))) << name;
    }
    EXPECT_TRUE(checkFileCanBeWritten(dir / "new.syx").ok());
    Names names{"fifo", "folder", "locked.syx", "loop-a", "loop-b", "read-only"};
    if (device) {
        names.insert(names.end() - 1, "null");
        EXPECT_TRUE(fs::is_character_file(dir / "null"));
    }
    EXPECT_EQ(names, test::namesIn(dir.path()));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_EQ(kOld, test::readBytes(dir / "locked.syx"));
    EXPECT_EQ(kOld, test::readBytes(dir / "read-only" / "bank.syx"));
    EXPECT_EQ(Names{"bank.syx"}, test::namesIn(dir / "read-only"));
    fs::permissions(dir / "read-only", fs::perms::owner_all);
}

// Owner, group, mode and extended attributes (name and value).
using Attributes = std::tuple<uid_t, gid_t, mode_t, std::map<std::string, std::string>>;

Attributes attributesOf(const fs::path& path)
{
    struct stat status = {};
    EXPECT_EQ(0, ::stat(path.c_str(), &status)) << std::strerror(errno);
    std::map<std::string, std::string> extended;
    std::string names(4096, '\0');
    names.resize(static_cast<std::size_t>(::listxattr(path.c_str(), names.data(), names.size())));
    for (std::size_t start = 0; start < names.size(); start = names.find('\0', start) + 1) {
        const char* name = names.c_str() + start;
        std::string value(4096, '\0');
        value.resize(
            static_cast<std::size_t>(::getxattr(path.c_str(), name, value.data(), value.size())));
        extended[name] = value;
    }
    return {status.st_uid, status.st_gid, status.st_mode & 07777, extended};
}

// The owner given away where the test may, the set-user-ID bit, a mark with
// no value and an access ACL (owner rw, user 4242 rw, group r, mask rw,
// others nothing: tag, permissions and id in the kernel's form).
TEST(AtomicFile, KeepsTheOwnerModeAndExtendedAttributesOfTheFileItReplaces)
{
    const test::TempDir dir;
    const fs::path file = dir / "shared.syx";
    test::writeBytes(file, kOld);
    ASSERT_EQ(0, ::geteuid() == 0 ? ::chown(file.c_str(), 65534, 65534) : 0);
    ASSERT_EQ(0, ::chmod(file.c_str(), 04640));
    constexpr std::uint16_t kNo = 0xFFFF;
    const std::uint16_t acl[] = {2, 0,   1,   6,  kNo, kNo, 2,   6,  4242, 0,   4,
                                 4, kNo, kNo, 16, 6,   kNo, kNo, 32, 0,    kNo, kNo};
    if (::setxattr(file.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0 ||
        ::setxattr(file.c_str(), "user.origin", "device", 6, 0) != 0 ||
        ::setxattr(file.c_str(), "user.flagged", "", 0, 0) != 0) {
        GTEST_SKIP() << "no ACLs or user attributes here: " << std::strerror(errno);
    }
    const Attributes before = attributesOf(file);
    ASSERT_EQ(3u, std::get<3>(before).size());
    ASSERT_EQ("", reasonOf(file, newBytes(5)));
    EXPECT_EQ(newBytes(5), test::readBytes(file));
    EXPECT_EQ(before, attributesOf(file));
    EXPECT_EQ(Names{"shared.syx"}, test::namesIn(dir.path()));
}

// A new file would split the links of one with several names, and one that
// belongs to another user could not be given that owner by an ordinary user.
TEST(AtomicFile, WritesIntoAFileThatANewOneCouldNotStandFor)
{
    const test::TempDir dir;
    test::writeBytes(dir / "bank.syx", kOld);
    fs::create_hard_link(dir / "bank.syx", dir / "other-name.syx");
    ASSERT_EQ("", reasonOf(dir / "bank.syx", newBytes(5)));
    EXPECT_EQ(newBytes(5), test::readBytes(dir / "other-name.syx"));
    EXPECT_TRUE(fs::equivalent(dir / "bank.syx", dir / "other-name.syx"));

    const auto theirs = dir / "theirs.syx";
    test::writeBytes(theirs, kOld);
    ASSERT_EQ(0, ::chmod(theirs.c_str(), 0666));
    struct stat before = {}, after = {};
    ASSERT_EQ(0, ::stat(theirs.c_str(), &before));
    if (!test::withoutPrivileges(dir.path()) || before.st_uid == ::geteuid()) {
        return; // in root's process, or run by a user who owns every file here
    }
    ASSERT_EQ("", reasonOf(theirs, newBytes(6)));
    EXPECT_EQ(newBytes(6), test::readBytes(theirs));
    ASSERT_EQ(0, ::stat(theirs.c_str(), &after));
    EXPECT_EQ(std::pair(before.st_ino, before.st_uid), std::pair(after.st_ino, after.st_uid));
    EXPECT_EQ((Names{"bank.syx", "other-name.syx", "theirs.syx"}), test::namesIn(dir.path()));
}

TEST(AtomicFile, KeepsACopyOfTheOldContentWhenWritingIntoTheFileFails)
{
    const auto folder = test::onSmallDisk("size=32k");
    if (!folder) {
        return;
    }
    test::writeBytes(*folder / "bank.syx", kOld);
    fs::create_hard_link(*folder / "bank.syx", *folder / "other-name.syx");
    test::fillUpTo(*folder, 2 * 4096); // a page for the copy, one more for the content
    const WriteResult written = writeFileAtomically(*folder / "bank.syx", newBytes(3 * 4096));
    ASSERT_FALSE(written.ok());
    const Names names = test::namesIn(*folder);
    ASSERT_EQ(4u, names.size());
    EXPECT_EQ((Names{"bank.syx", names[1], "filler", "other-name.syx"}), names);
    EXPECT_EQ("No space left on device; the old content is kept in " +
                  (*folder / names[1]).string(),
              written.failure().reason);
    EXPECT_EQ(kOld, test::readBytes(*folder / names[1]));
}

// The new file is in place, but the rename that put it there is not known
// to be on the disk. (A folder that may not be read, the other way a sync
// fails, is a3bank's test without privileges.)
TEST(AtomicFile, CountsTheFileAsWrittenWhenTheFolderSyncFails)
{
    if (!test::withPreloaded(A3_FAILING_FOLDER_SYNC)) {
        return;
    }
    const test::TempDir dir;
    test::writeBytes(dir / "bank.syx", kOld);
    const WriteResult written = writeFileAtomically(dir / "bank.syx", newBytes(5));
    ASSERT_TRUE(written.ok());
    EXPECT_FALSE(written->durable);
    EXPECT_EQ("Input/output error", written->whyNotDurable);
    EXPECT_EQ(newBytes(5), test::readBytes(dir / "bank.syx"));
}

// A new file takes the first name no file has, whole, and nothing is left
// beside it; a folder that is not there writes nothing.
TEST(AtomicFile, WritesANewFileUnderTheFirstFreeNameNeverOverOne)
{
    const test::TempDir dir;
    const std::vector<std::uint8_t> mine{1, 2, 3};
    test::writeBytes(dir / "a.syx", std::vector<std::uint8_t>{9});
    test::writeBytes(dir / "a 2.syx", std::vector<std::uint8_t>{8});
    const auto nameFor = [](int attempt) {
        return "a" + (attempt > 1 ? " " + std::to_string(attempt) : std::string()) + ".syx";
    };
    const Result<NewFile> written = writeNewFile(dir.path(), nameFor, mine);
    ASSERT_TRUE(written.ok()) << written.failure().reason;
    EXPECT_TRUE(written->written.durable);
    EXPECT_EQ(written->path, dir / "a 3.syx");
    EXPECT_EQ(test::readBytes(dir / "a 3.syx"), mine);
    EXPECT_EQ(test::readBytes(dir / "a.syx"), std::vector<std::uint8_t>{9});
    EXPECT_EQ(test::readBytes(dir / "a 2.syx"), std::vector<std::uint8_t>{8});
    EXPECT_EQ(test::namesIn(dir.path()), (std::vector<std::string>{"a 2.syx", "a 3.syx", "a.syx"}));

    EXPECT_EQ(reasonOf(writeNewFile(dir / "missing", nameFor, mine)), "No such file or directory");
}

} // namespace
} // namespace a3
