// Reading files from disk: the size is judged before anything is read, and
// nothing that is not a regular file is opened.

#include "FileReader.h"

#include "Isolation.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;

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

// Each refused file with its status, its measured size and the reason.
TEST(FileReader, RefusesByTheSizeOrTheKindOfFileWithAReason)
{
    test::TempDir dir;
    test::writeBytes(dir / "larger", std::vector<std::uint8_t>(kLimit + 1));
    test::writeBytes(dir / "huge", {});
    fs::resize_file(dir / "huge", std::uintmax_t{8} << 30); // 8 GiB, sparse: no blocks
    fs::create_directory(dir / "folder");
    // Opening a FIFO for reading would block until a writer comes.
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));
    struct Refusal
    {
        const char* name;
        Status status;
        std::uintmax_t size;
        const char* reason; // a part of the error
    };
    for (const Refusal refusal :
         {Refusal{"larger", Status::TooLarge, kLimit + 1, "too large"},
          Refusal{"huge", Status::TooLarge, std::uintmax_t{8} << 30, "too large"},
          Refusal{"folder", Status::Unreadable, 0, "Is a directory"},
          Refusal{"fifo", Status::Unreadable, 0, "Not a regular file"},
          Refusal{"missing", Status::Unreadable, 0, "No such file"}}) {
        const auto result = readFileBounded(dir / refusal.name, kLimit);
        EXPECT_EQ(refusal.status, result.status) << refusal.name;
        EXPECT_TRUE(result.bytes.empty()) << refusal.name;
        if (refusal.size > 0) {
            EXPECT_EQ(refusal.size, result.size) << refusal.name;
        }
        EXPECT_NE(std::string::npos, result.error.find(refusal.reason)) << result.error;
    }
}

TEST(FileReader, GivesTheSystemsReasonForAFileWithoutReadPermission)
{
    if (!test::withoutPrivileges()) {
        return;
    }
    test::TempDir dir;
    test::writeBytes(dir / "locked", std::vector<std::uint8_t>(10));
    fs::permissions(dir / "locked", fs::perms::none);
    const auto result = readFileBounded(dir / "locked", kLimit);
    EXPECT_EQ(Status::Unreadable, result.status);
    EXPECT_EQ("Permission denied", result.error);
}

} // namespace
} // namespace a3
