// The record of temporary files that a signal handler removes: what it
// removes and what it leaves. That the programs remove them when a signal
// ends them is a3bank's test, through each program.

#include "TemporaryFileRecord.h"

#include "FileDescriptor.h"
#include "TempDir.h"

#include <climits>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using Names = std::vector<std::string>;

class TemporaryFileRecord : public ::testing::Test
{
protected:
    void make(const Names& names)
    {
        for (const std::string& name : names) {
            test::writeBytes(dir / name, std::vector<std::uint8_t>{1});
        }
    }

    test::TempDir dir;
    const FileDescriptor folder{::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    const std::string longest = std::string(NAME_MAX, 'n');
};

TEST_F(TemporaryFileRecord, RemovesTheFilesRecordedUntilTheyAreForgotten)
{
    make({"a", "b", "forgotten", "moved", longest, "other"});
    RecordedTemporaryFile a(folder.get(), "a"), b(folder.get(), "b");
    RecordedTemporaryFile forgotten(folder.get(), "forgotten"), atTheLimit(folder.get(), longest);
    forgotten.forget();
    RecordedTemporaryFile assigned;
    {
        RecordedTemporaryFile gone(folder.get(), "moved");
        RecordedTemporaryFile constructed(std::move(gone));
        assigned = std::move(constructed);
    }
    removeRecordedTemporaryFiles();
    EXPECT_EQ((Names{"forgotten", "other"}), test::namesIn(dir.path()));

    // Entries stay until forgotten, and are removed again; an entry given
    // another replaces it.
    make({"a", "b", "moved", "c"});
    b = RecordedTemporaryFile(folder.get(), "c");
    removeRecordedTemporaryFiles();
    EXPECT_EQ((Names{"b", "forgotten", "other"}), test::namesIn(dir.path()));
}

TEST_F(TemporaryFileRecord, ForgetsEachEntryAsItGoesAndHoldsNoNameTooLongForAFolder)
{
    make({"gone", "kept"});
    {
        RecordedTemporaryFile gone(folder.get(), "gone");
    }
    RecordedTemporaryFile tooLong(folder.get(), longest + "n");
    removeRecordedTemporaryFiles();
    EXPECT_EQ((Names{"gone", "kept"}), test::namesIn(dir.path()));
}

} // namespace
} // namespace a3
