#include "SameFile.h"

#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;

TEST(SameFile, IsOneFileUnderEveryNameItHas)
{
    const test::TempDir folder;
    std::ofstream(folder / "bank.syx") << "bank";
    std::ofstream(folder / "other.syx") << "bank";
    fs::create_symlink("bank.syx", folder / "link.syx");
    fs::create_hard_link(folder / "bank.syx", folder / "hard.syx");
    fs::create_directory(folder / "sub");
    fs::create_directory_symlink(folder.path(), folder / "again");

    const struct
    {
        fs::path a;
        fs::path b;
        bool same;
    } cases[] = {
        {folder / "bank.syx", folder / "bank.syx", true},
        {folder / "bank.syx", folder / "link.syx", true},
        {folder / "bank.syx", folder / "hard.syx", true},
        {folder / "bank.syx", folder / "sub/../bank.syx", true},
        {folder / "bank.syx", folder / "again/bank.syx", true},
        // The same content in another file is another file.
        {folder / "bank.syx", folder / "other.syx", false},
        // Files not written yet: the same place or not.
        {folder / "new.syx", folder / "sub/../new.syx", true},
        {folder / "new.syx", folder / "again/new.syx", true},
        {folder / "new.syx", folder / "newer.syx", false},
        {folder / "new.syx", folder / "bank.syx", false},
        {folder / "bank.syx", fs::path(), false},
    };
    for (const auto& [a, b, same] : cases) {
        EXPECT_EQ(isSameFile(a, b), same) << a << " and " << b;
        EXPECT_EQ(isSameFile(b, a), same) << b << " and " << a;
    }
}

} // namespace
} // namespace a3
