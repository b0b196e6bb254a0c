// Reading files from disk: the size is judged before anything is read, and
// nothing that is not a regular file is opened.

#include "FileReader.h"

#include "Isolation.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace a3 {
namespace {

// A limit such as a reader of All-Data files sets.
constexpr std::size_t kLimit = 29198;

using Status = FileReadResult::Status;

TEST(FileReader, ReadsFilesUpToTheLimit)
{
    test::TempDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, kLimit}) {
        const std::vector<std::uint8_t> bytes(size, 0x5A);
        test::writeBytes(dir / "file", bytes);
        const auto result = readFileBounded(dir / "file", kLimit);
        ASSERT_TRUE(result.ok()) << size << ": " << result.error;
        EXPECT_EQ(bytes, result.bytes);
    }
}

TEST(FileReader, RefusesALargerFileByItsSize)
{
    test::TempDir dir;
    test::writeBytes(dir / "file", std::vector<std::uint8_t>(kLimit + 1));
    const auto result = readFileBounded(dir / "file", kLimit);
    EXPECT_EQ(Status::TooLarge, result.status);
    EXPECT_EQ(kLimit + 1, result.size);
    EXPECT_TRUE(result.bytes.empty());
}

TEST(FileReader, RefusesAHugeSparseFileWithoutReadingIt)
{
    test::TempDir dir;
    {
        std::ofstream sparse(dir / "huge", std::ios::binary);
    }
    std::filesystem::resize_file(dir / "huge", std::uintmax_t{8} << 30); // 8 GiB, no blocks
    const auto result = readFileBounded(dir / "huge", kLimit);
    EXPECT_EQ(Status::TooLarge, result.status);
    EXPECT_EQ(std::uintmax_t{8} << 30, result.size);
    EXPECT_NE(std::string::npos, result.error.find("too large"));
}

TEST(FileReader, RefusesWhatIsNotARegularFileWithAReason)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));

    const auto folder = readFileBounded(dir / "folder", kLimit);
    EXPECT_EQ(Status::Unreadable, folder.status);
    EXPECT_EQ("Is a directory", folder.error);

    // Opening a FIFO for reading would block until a writer comes.
    const auto fifo = readFileBounded(dir / "fifo", kLimit);
    EXPECT_EQ(Status::Unreadable, fifo.status);
    EXPECT_EQ("Not a regular file", fifo.error);

    const auto missing = readFileBounded(dir / "missing", kLimit);
    EXPECT_EQ(Status::Unreadable, missing.status);
    EXPECT_NE(std::string::npos, missing.error.find("No such file"));
}

TEST(FileReader, GivesTheSystemsReasonForAFileWithoutReadPermission)
{
    if (!test::withoutPrivileges()) {
        return;
    }
    test::TempDir dir;
    test::writeBytes(dir / "locked", std::vector<std::uint8_t>(10));
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
    const auto result = readFileBounded(dir / "locked", kLimit);
    EXPECT_EQ(Status::Unreadable, result.status);
    EXPECT_EQ("Permission denied", result.error);
}

} // namespace
} // namespace a3
