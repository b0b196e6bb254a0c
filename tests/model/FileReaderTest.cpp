// Reading files from disk: the size is judged before anything is read, and
// nothing that is not a regular file is opened.

#include "FileReader.h"

#include "A3AllData.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace a3 {
namespace {

using Status = FileReadResult::Status;

TEST(FileReader, ReadsFilesUpToTheLimit)
{
    test::TempDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, kAllDataFileSize}) {
        const std::vector<std::uint8_t> bytes(size, 0x5A);
        test::writeBytes(dir / "file", bytes);
        const auto result = readFileBounded(dir / "file", kAllDataFileSize);
        ASSERT_TRUE(result.ok()) << size << ": " << result.error;
        EXPECT_EQ(bytes, result.bytes);
    }
}

TEST(FileReader, RefusesALargerFileByItsSize)
{
    test::TempDir dir;
    test::writeBytes(dir / "file", std::vector<std::uint8_t>(kAllDataFileSize + 1));
    const auto result = readFileBounded(dir / "file", kAllDataFileSize);
    EXPECT_EQ(Status::TooLarge, result.status);
    EXPECT_EQ(kAllDataFileSize + 1, result.size);
    EXPECT_TRUE(result.bytes.empty());
}

TEST(FileReader, RefusesAHugeSparseFileWithoutReadingIt)
{
    test::TempDir dir;
    {
        std::ofstream sparse(dir / "huge", std::ios::binary);
    }
    std::filesystem::resize_file(dir / "huge", std::uintmax_t{8} << 30); // 8 GiB, no blocks
    const auto result = readFileBounded(dir / "huge", kAllDataFileSize);
    EXPECT_EQ(Status::TooLarge, result.status);
    EXPECT_EQ(std::uintmax_t{8} << 30, result.size);
    EXPECT_NE(std::string::npos, result.error.find("too large"));
}

TEST(FileReader, RefusesWhatIsNotARegularFileWithAReason)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));

    const auto folder = readFileBounded(dir / "folder", kAllDataFileSize);
    EXPECT_EQ(Status::Unreadable, folder.status);
    EXPECT_EQ("Is a directory", folder.error);

    // Opening a FIFO for reading would block until a writer comes.
    const auto fifo = readFileBounded(dir / "fifo", kAllDataFileSize);
    EXPECT_EQ(Status::Unreadable, fifo.status);
    EXPECT_EQ("Not a regular file", fifo.error);

    const auto missing = readFileBounded(dir / "missing", kAllDataFileSize);
    EXPECT_EQ(Status::Unreadable, missing.status);
    EXPECT_NE(std::string::npos, missing.error.find("No such file"));
}

// Runs check() in a child process without root's right to read everything.
bool passesWithoutPrivileges(bool (*check)(const std::filesystem::path&),
                             const std::filesystem::path& file)
{
    if (::geteuid() != 0) {
        return check(file);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && check(file) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(FileReader, GivesTheSystemsReasonForAFileWithoutReadPermission)
{
    test::TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    test::writeBytes(dir / "locked", std::vector<std::uint8_t>(10));
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
    EXPECT_TRUE(passesWithoutPrivileges(
        [](const std::filesystem::path& file) {
            const auto result = readFileBounded(file, kAllDataFileSize);
            return result.status == Status::Unreadable && result.error == "Permission denied";
        },
        dir / "locked"));
}

} // namespace
} // namespace a3
