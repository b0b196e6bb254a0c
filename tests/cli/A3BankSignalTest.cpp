// a3bank ended by SIGINT (Ctrl+C) or SIGTERM while it writes a file, through
// each of its programs that writes one: the target is left as it was, with
// nothing beside it, and the program dies by the signal, so that its exit
// status tells it. A preloaded library makes the sync of the file being
// written last until the signal comes, and says when it starts.

#include "A3AllDataSource.h"
#include "ChildProcess.h"
#include "Isolation.h"
#include "TempDir.h"

#include <csignal>
#include <gtest/gtest.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Arguments = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

const Bytes kOld{1, 2, 3};

class A3BankEnded : public ::testing::Test
{
protected:
    void SetUp() override { test::writeBytes(bank, A3AllDataSource::fallbackBank().syxData()); }

    // Runs commandLine with the sync of the files that match pattern slowed
    // (and made to fail, with A3_SLOW_SYNC_FAILS in more), until it syncs
    // one; the line that says which.
    std::unique_ptr<test::ChildProcess> startSyncing(const Arguments& commandLine,
                                                     const std::string& pattern,
                                                     const Arguments& more = {})
    {
        Arguments environment = test::preloading(A3_SLOW_FILE_SYNC);
        environment.push_back("A3_SLOW_SYNC=" + pattern);
        environment.insert(environment.end(), more.begin(), more.end());
        auto child = std::make_unique<test::ChildProcess>(commandLine, environment);
        syncing = child->readLine(30s);
        return child;
    }

    test::TempDir dir;
    const fs::path bank = dir / "bank.syx";
    std::string syncing;
};

// The temporary file's name is the target's and six characters: that of a
// target at the system's limit for a name is at the limit too.
TEST_F(A3BankEnded, WhileWritingLeavesTheTargetAsItWasAndNothingBesideIt)
{
    const fs::path out = dir / "out.syx", longest = dir / (std::string(244, 'n') + ".syx"),
                   pdf = dir / "listing.pdf";
    for (const fs::path& target : {out, longest, pdf}) {
        test::writeBytes(target, kOld);
    }
    const Bytes bankBytes = test::readBytes(bank);
    const Names names = test::namesIn(dir.path());
    const std::string b = bank.string();
    for (const auto& [arguments, target, signal] :
         {std::tuple{Arguments{"rename", b, "1", "X"}, bank, SIGINT},
          {Arguments{"new", "--force", out.string()}, out, SIGTERM},
          {Arguments{"copy", b, "1", b, "2", "-o", longest.string()}, longest, SIGINT},
          {Arguments{"pdf", b, "-o", pdf.string()}, pdf, SIGINT},
          {Arguments{"pdf", b, "-o", pdf.string()}, pdf, SIGTERM},
          {Arguments{"new", "--force", out.string()}, out, SIGHUP}}) {
        SCOPED_TRACE(arguments.front() + " " + strsignal(signal));
        Arguments commandLine{A3BANK_PATH};
        commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
        const auto child = startSyncing(commandLine, target.string() + ".??????");
        ASSERT_EQ(0u, syncing.rfind("syncing " + target.string() + ".", 0)) << child->err();
        child->kill(signal);
        EXPECT_EQ(signal, child->finish(30s).signal);
        EXPECT_EQ(syncing + '\n', child->out());
        EXPECT_EQ("", child->err());
        EXPECT_EQ(names, test::namesIn(dir.path()));
        EXPECT_EQ(target == bank ? bankBytes : kOld, test::readBytes(target));
    }
}

// A file with two names is written into, after a copy of its old content
// beside it: a signal then waits until the new content is on the disk, as
// the copy goes too; should the write fail, the copy stays.
TEST_F(A3BankEnded, WhileWritingIntoAFileFinishesTheWriteFirst)
{
    fs::create_hard_link(bank, dir / "other.syx");
    const Bytes old = test::readBytes(bank);
    const auto child =
        startSyncing({A3BANK_PATH, "rename", bank.string(), "1", "Intro"}, bank.string());
    ASSERT_EQ("syncing " + bank.string(), syncing) << child->err();
    child->kill(SIGINT);
    EXPECT_EQ(SIGINT, child->finish(30s).signal);
    EXPECT_EQ(syncing + "\nsynced " + bank.string() + '\n', child->out());
    EXPECT_EQ((Names{"bank.syx", "other.syx"}), test::namesIn(dir.path()));
    A3AllDataSource written = A3AllDataSource::fallbackBank();
    ASSERT_TRUE(written.setSyxData(test::readBytes(dir / "other.syx")).ok());
    EXPECT_EQ("Intro  ", written.patchNameAt(0));

    test::writeBytes(bank, old);
    const auto failing = startSyncing({A3BANK_PATH, "rename", bank.string(), "1", "Intro"},
                                      bank.string(), {"A3_SLOW_SYNC_FAILS=1"});
    ASSERT_EQ("syncing " + bank.string(), syncing) << failing->err();
    failing->kill(SIGINT);
    EXPECT_EQ(SIGINT, failing->finish(30s).signal);
    EXPECT_EQ(syncing + "\nfailed " + bank.string() + '\n', failing->out());
    const Names names = test::namesIn(dir.path());
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ((Names{"bank.syx", names[1], "other.syx"}), names);
    EXPECT_EQ(old, test::readBytes(dir / names[1]));
}

// As a script's background job has it: Ctrl+C is meant for the script. The
// child inherits SIGINT ignored from this process.
TEST_F(A3BankEnded, BySigtermAloneWhenSigintWasIgnoredFromTheStart)
{
    const auto previous = std::signal(SIGINT, SIG_IGN);
    const auto child =
        startSyncing({A3BANK_PATH, "rename", bank.string(), "1", "X"}, bank.string() + ".??????");
    std::signal(SIGINT, previous);
    ASSERT_EQ(0u, syncing.rfind("syncing " + bank.string() + ".", 0)) << child->err();
    child->kill(SIGINT);
    child->kill(SIGTERM);
    EXPECT_EQ(SIGTERM, child->finish(30s).signal);
    EXPECT_EQ(Names{"bank.syx"}, test::namesIn(dir.path()));
}

} // namespace
} // namespace a3
