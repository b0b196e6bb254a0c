// Reading files from disk: the size is judged before anything is read, and
// nothing that is not a regular file is opened.

#include "FileReader.h"

#include "Isolation.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;
using Kind = ReadFailure::Kind;

// A limit such as a reader of All-Data files sets.
constexpr std::uintmax_t kLimit = 29198;

// Each file with what reading it gives: its bytes, or its status, measured
// size and reason. Without privileges, so that a file may be unreadable.
TEST(FileReader, ReadsFilesUpToTheLimitAndRefusesOthersWithAReason)
{
    if (!test::withoutPrivileges()) {
        return;
    }
    const test::TempDir dir;
    for (std::uintmax_t size : {std::uintmax_t{0}, std::uintmax_t{1}, kLimit, kLimit + 1}) {
        test::writeBytes(dir / std::to_string(size), std::vector<std::uint8_t>(size, 0x5A));
    }
    fs::copy_file(dir / "1", dir / "locked");
    fs::permissions(dir / "locked", fs::perms::none);
    fs::copy_file(dir / "0", dir / "huge");
    fs::resize_file(dir / "huge", std::uintmax_t{8} << 30); // 8 GiB, sparse: no blocks
    fs::create_directory(dir / "folder");
    // Opening a FIFO for reading would block until a writer comes.
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));
    const struct
    {
        std::string name;
        std::optional<ReadFailure::Kind> failure; // none for a file read
        std::uintmax_t size; // the content's size, or the size measured of one too large
        const char* reason;  // a part of the error
    } cases[] = {
        {"0", {}, 0, ""},
        {"1", {}, 1, ""},
        {std::to_string(kLimit), {}, kLimit, ""},
        {std::to_string(kLimit + 1), Kind::TooLarge, kLimit + 1, "too large"},
        {"huge", Kind::TooLarge, std::uintmax_t{8} << 30, "too large"},
        {"folder", Kind::Unreadable, 0, "Is a directory"},
        {"fifo", Kind::Unreadable, 0, "Not a regular file"},
        {"missing", Kind::Unreadable, 0, "No such file or directory"},
        {"locked", Kind::Unreadable, 0, "Permission denied"},
    };
    for (const auto& [name, failure, size, reason] : cases) {
        const FileRead result = readFileBounded(dir / name, kLimit);
        if (!failure) {
            ASSERT_TRUE(result.ok()) << name << ": " << result.failure().reason;
            EXPECT_EQ(std::vector<std::uint8_t>(size, 0x5A), *result) << name;
            continue;
        }
        ASSERT_FALSE(result.ok()) << name;
        EXPECT_EQ(*failure, result.failure().kind) << name;
        if (failure == Kind::TooLarge) {
            EXPECT_EQ(size, result.failure().size) << name;
        }
        EXPECT_NE(std::string::npos, result.failure().reason.find(reason))
            << name << ": " << result.failure().reason;
    }
}

} // namespace
} // namespace a3
