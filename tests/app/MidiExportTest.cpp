// A bank exported as a MIDI file through its window: the bank as it is now,
// unsaved edits and all, in the packets and at the speed asked for, or why
// it could not be written.

#include "AppTestSupport.h"
#include "DocumentFixtures.h"
#include "DumpsInFile.h"
#include "FakePrompts.h"
#include "Isolation.h"
#include "MidiFileWriter.h"

#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::qPath;
using Export = UserPrompts::MidiExport;

class MidiExport : public test::WithWindows<test::FakePrompts>
{
protected:
    void SetUp() override
    {
        window = controller.openDocument(qPath(test::writeFactoryBank(dir / "live set.syx")));
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(window->document().renamePatch(4, QStringLiteral("Unsaved")));
    }

    void exportAs(const Export& chosen)
    {
        prompts.midiExport = chosen;
        test::menuAction(window, QStringLiteral("MIDI File…"))->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }));
    }

    DocumentWindow* window = nullptr;
};

// The file holds the bank the window shows, which the scanner reads back;
// the packets and their speed are the writer's as asked. A name without an
// extension gets .mid; a cancel writes nothing.
TEST_F(MidiExport, WritesTheBankAsItIsNowInThePacketsAsked)
{
    const std::vector<std::uint8_t> bank = test::fileContent(window->document());
    const std::span<const std::uint8_t, kAllDataFileSize> dump(bank);
    const struct
    {
        Export chosen;
        std::string written;
        MidiFileOptions options;
    } ways[] = {
        {{qPath(dir / "one"), 0, SendSpeed::Full}, "one.mid", {0, 3125}},
        {{qPath(dir / "fast.mid"), 256, SendSpeed::Full}, "fast.mid", {256, 3125}},
        {{qPath(dir / "slow.mid"), 16, SendSpeed::Quarter}, "slow.mid", {16, 781.25}},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.written);
        exportAs(way.chosen);
        const auto written = test::readBytes(dir / way.written);
        EXPECT_EQ(midiFileOfDump(dump, way.options), written);
        const Result<DumpsInFile> found = dumpsInFile(dir / way.written);
        ASSERT_TRUE(found.ok());
        ASSERT_EQ(1u, found->dumps.size()) << found->holds;
        EXPECT_EQ(bank, found->dumps.front().bytes);
    }
    EXPECT_EQ(QStringList(3, qPath(dir / "live set.mid")), prompts.suggestedSavePaths);
    exportAs({});
    EXPECT_EQ((std::vector<std::string>{"fast.mid", "live set.syx", "one.mid", "slow.mid"}),
              test::namesIn(dir.path()));
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_TRUE(window->document().isModified());
}

// Into a folder the user may not write: the system's reason, and no file.
TEST_F(MidiExport, AFileThatCannotBeWrittenIsReportedWithTheReason)
{
    if (!test::withoutPrivileges(dir.path())) {
        return;
    }
    std::filesystem::create_directory(dir / "locked");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    exportAs({qPath(dir / "locked" / "bank.mid"), 0, SendSpeed::Full});
    EXPECT_EQ(QStringList{"“live set.syx” could not be exported as “bank.mid”.|Permission denied"},
              prompts.errors);
    EXPECT_TRUE(test::namesIn(dir / "locked").empty());
}

} // namespace
} // namespace a3
