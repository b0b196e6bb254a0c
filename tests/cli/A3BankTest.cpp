// a3bank end to end: one path through each command family, what it prints,
// writes and exits with, and what reaches the terminal. The rules it applies
// are tested where they live (the model, the file layer, the parser table).

#include "A3AllDataSource.h"
#include "ChildProcess.h"
#include "Isolation.h"
#include "Poppler.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace a3 {
namespace {

using Arguments = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;
const std::filesystem::path kData(A3_TEST_DATA_DIR);
const std::string kShortFile = "wrong length: 10 bytes, expected 29198";

test::RunResult a3bank(Arguments arguments, const Arguments& environment = {})
{
    arguments.insert(arguments.begin(), A3BANK_PATH);
    return test::run(arguments, std::chrono::seconds(30), environment);
}

// Runs a3bank expecting it to exit with status; what it said on standard error.
std::string errorOf(const Arguments& arguments, int status = 1)
{
    const auto run = a3bank(arguments);
    EXPECT_EQ(status, run.exit.code) << ::testing::PrintToString(arguments) << run.err;
    return run.err;
}

std::string q(const std::filesystem::path& path)
{
    return path.string();
}

// a3bank's message about a file.
std::string said(const std::filesystem::path& path, const std::string& message)
{
    return "a3bank: " + q(path) + ": " + message + "\n";
}

A3AllDataSource bankIn(const std::filesystem::path& file)
{
    Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(test::readBytes(file));
    EXPECT_TRUE(bank.ok()) << file;
    return bank.ok() ? std::move(bank).value() : A3AllDataSource::fallbackBank();
}

class A3Bank : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, a3bank({"new", q(good)}).exit.code);
        test::writeBytes(shortFile, Bytes(10));
    }
    test::TempDir dir;
    const std::filesystem::path good = dir / "good.syx", shortFile = dir / "short.syx";
};

TEST_F(A3Bank, NewWritesTheGoldenFileAndReplacesOneOnlyWhenForced)
{
    EXPECT_EQ(test::readBytes(kData / "factory-bank.syx"), test::readBytes(good));
    const auto taken = dir / "taken";
    test::writeBytes(taken, Bytes{1, 2, 3});
    EXPECT_EQ(said(taken, "already exists (use --force to replace it)"),
              errorOf({"new", q(taken)}));
    EXPECT_EQ((Bytes{1, 2, 3}), test::readBytes(taken));
    EXPECT_EQ("", errorOf({"new", "--force", q(taken)}, 0));
    EXPECT_EQ(test::readBytes(good), test::readBytes(taken));
}

TEST_F(A3Bank, ListPrintsTheGoldenListingsAndGoesOnPastARefusedFile)
{
    const auto bank = q(kData / "factory-bank.syx");
    const auto run = a3bank({"list", bank, q(shortFile), bank});
    EXPECT_EQ(1, run.exit.code);
    EXPECT_EQ(said(shortFile, kShortFile), run.err);
    const auto listing = test::readBytes(kData / "factory-bank.listing.txt");
    const std::string golden(listing.begin(), listing.end());
    EXPECT_EQ(golden + "\n" + golden, run.out);
}

// Names with control characters or bytes that are not UTF-8 keep each result
// and each message on one line. Every line names a file as it was given; a
// listing's title names the file alone, as it always has.
TEST_F(A3Bank, CheckTellsEachFilesVerdictAndNamesEachFileAsItWasGivenAndEscaped)
{
    const auto evil = dir / "f" / "evil.syx: ok\nreal", notUtf8 = dir / "bank\xFF.syx";
    test::writeBytes(evil, test::readBytes(good));
    std::filesystem::copy_file(shortFile, notUtf8);
    auto file = test::readBytes(good);
    file.back() = 0x00;
    const auto odd = dir / "odd.syx";
    test::writeBytes(odd, file);
    const std::string shownEvil = "'" + q(dir / "f") + "/evil.syx: ok'$'\\n''real'";
    const std::string shownNotUtf8 = "'" + q(dir.path()) + "/bank'$'\\377''.syx'";
    const auto run = a3bank({"check", q(evil), q(odd), q(notUtf8), q(dir / "missing")});
    EXPECT_EQ(1, run.exit.code);
    EXPECT_EQ(shownEvil + ": ok\n" + q(odd) + ": ok\n" + q(odd) +
                  ": warning: last byte is 0x00, expected 0xF7\n" + shownNotUtf8 +
                  ": rejected: " + kShortFile + "\n" + q(dir / "missing") +
                  ": rejected: unreadable: No such file or directory\n",
              run.out);
    EXPECT_EQ("", errorOf({"check", q(odd)}, 0));
    const auto list = a3bank({"list", q(evil), q(notUtf8)});
    EXPECT_EQ(0u, list.out.find("Korg A3 SysEx File: 'evil.syx: ok'$'\\n''real'\nChain ID: "));
    EXPECT_EQ("a3bank: " + shownNotUtf8 + ": " + kShortFile + "\n", list.err);
}

// Here and below, written names that are not UTF-8: a3bank holds names as
// the bytes they are, so it writes any name the system takes.
TEST_F(A3Bank, RenameWritesTheNameByTheBankRulesOrRefusesTheFile)
{
    const auto original = test::readBytes(good);
    const auto out = dir / "o\xFE.syx";
    ASSERT_EQ("", errorOf({"rename", q(good), "100", "Caf\u00e9 au lait", "-o", q(out)}, 0));
    EXPECT_EQ(original, test::readBytes(good));
    A3AllDataSource renamed = bankIn(out);
    EXPECT_EQ("Caf  au", renamed.patchNameAt(99));      // the accented letter became a space
    EXPECT_EQ(test::readBytes(out), renamed.syxData()); // checksums were already right
    ASSERT_EQ("", errorOf({"rename", q(good), "1", "Intro"}, 0));
    EXPECT_EQ("Intro  ", bankIn(good).patchNameAt(0));

    auto bad = original;
    bad[0] = 0x00;
    test::writeBytes(dir / "bad.syx", bad);
    EXPECT_EQ(said(dir / "bad.syx", "wrong header: byte 0 is 0x00, expected 0xF0"),
              errorOf({"rename", q(dir / "bad.syx"), "1", "X"}));
    EXPECT_EQ(bad, test::readBytes(dir / "bad.syx"));
}

// Patch 5 of the source uses chain data, the others do not, and the target
// has another chain ID.
TEST_F(A3Bank, CopyWritesTheListedPatchesInOrderOrRefusesWhatWouldNotFit)
{
    A3AllDataSource from = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH), into = from;
    auto image = from.patchDataAt(4);
    image[0] = 200;
    from.setPatchData(image, 4);
    A3AllData record = into.data();
    record.chain[0] ^= 0x01;
    into.setData(record);
    const auto source = dir / "src.syx", target = dir / "dst.syx";
    test::writeBytes(source, from.syxData());
    const auto original = into.syxData();
    test::writeBytes(target, original);
    EXPECT_EQ(said(target, "3 patches from patch 99 would run past patch 100"),
              errorOf({"copy", q(source), "1-3", q(target), "99"}));
    EXPECT_EQ(said(target, "patches using chain data (C0 and up) need the same chain ID; " +
                               q(source) + " has df2c, " + q(target) + " has df2b"),
              errorOf({"copy", q(source), "4-5", q(target), "1"}));
    EXPECT_EQ(original, test::readBytes(target));

    const auto o = dir / "o.syx";
    ASSERT_EQ("", errorOf({"copy", q(source), "9,3,7-8", q(target), "50", "-o", q(o)}, 0));
    const auto out = bankIn(o);
    for (const auto& [row, expected] : {std::pair{48, into.patchDataAt(48)},
                                        {49, from.patchDataAt(2)},
                                        {50, from.patchDataAt(6)},
                                        {51, from.patchDataAt(7)},
                                        {52, from.patchDataAt(8)},
                                        {53, into.patchDataAt(53)}}) {
        EXPECT_EQ(expected, out.patchDataAt(row)) << row;
    }
    ASSERT_EQ("", errorOf({"copy", q(source), "1", q(target), "100"}, 0));
    EXPECT_EQ(from.patchDataAt(0), bankIn(target).patchDataAt(99));
}

// The listing's content on the page is the print layer's; here the wiring.
TEST_F(A3Bank, PdfWritesOnePageOnTheChosenPaperOrRefusesTheBank)
{
    const auto pdf = dir / "listing\xFD.pdf";
    ASSERT_EQ("", errorOf({"pdf", q(good), "-o", q(pdf), "--paper", "letter"}, 0));
    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
    EXPECT_EQ(0u, test::pdfInfo(pdf, "Page size").find("612 x 792 pts"));
    EXPECT_EQ("Korg A3 SysEx File: good.syx", test::simplifiedLines(test::pdfLayoutText(pdf))[0]);
    EXPECT_EQ(said(shortFile, kShortFile), errorOf({"pdf", q(shortFile), "-o", q(dir / "b.pdf")}));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.pdf"));

    // Qt takes options from the command line it is given; the renderer gives
    // it none of the user's, so that a bank named like one (-testability
    // loads a library) stays a bank. Named from its folder, as given.
    std::filesystem::copy_file(good, dir / "-testability");
    const auto named =
        test::run({"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" pdf -o option.pdf -- -testability",
                   q(dir.path()), A3BANK_PATH});
    EXPECT_EQ(0, named.exit.code);
    EXPECT_EQ("", named.err);
    EXPECT_EQ("Korg A3 SysEx File: -testability",
              test::simplifiedLines(test::pdfLayoutText(dir / "option.pdf"))[0]);
}

// Through each command that writes: a file that may not be written and one
// that is not a regular file are refused and left as they are; a file
// written in a folder that cannot be synced is written, with a warning.
TEST(A3BankWithoutPrivileges, RefusesWhatItMayNotReplaceAndWarnsOfAnUnsyncedFolder)
{
    if (!test::withoutPrivileges()) {
        return;
    }
    const test::TempDir dir;
    const auto bank = dir / "bank.syx", locked = dir / "locked", fifo = dir / "fifo";
    ASSERT_EQ(0, a3bank({"new", q(bank)}).exit.code);
    test::writeBytes(locked, Bytes{1, 2, 3});
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0666));
    for (const auto& [arguments, name] :
         {std::pair{Arguments{"new", "--force", q(locked)}, locked},
          {Arguments{"rename", q(bank), "1", "X", "-o", q(locked)}, locked},
          {Arguments{"pdf", q(bank), "-o", q(locked)}, locked},
          {Arguments{"copy", q(bank), "1", q(bank), "2", "-o", q(fifo)}, fifo},
          {Arguments{"pdf", q(bank), "-o", q(fifo)}, fifo},
          {Arguments{"receive", q(fifo), "--port", "any"}, fifo}}) {
        EXPECT_EQ(said(name, name == fifo ? "Not a regular file" : "Permission denied"),
                  errorOf(arguments));
    }
    EXPECT_EQ((Bytes{1, 2, 3}), test::readBytes(locked));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write |
                                                 std::filesystem::perms::owner_exec);
    for (const auto& [arguments, name] :
         {std::pair{Arguments{"rename", q(bank), "1", "X"}, bank},
          {Arguments{"pdf", q(bank), "-o", q(dir / "listing.pdf")}, dir / "listing.pdf"}}) {
        EXPECT_EQ(said(name, "warning: written, but its folder could not be synced: "
                             "Permission denied"),
                  errorOf(arguments, 0));
    }
    EXPECT_EQ("X      ", bankIn(bank).patchNameAt(0));
}

// Output that cannot be written fails the command, whether a write fails on
// the way (four listings are more than a3bank buffers) or only the last.
TEST_F(A3Bank, OutputThatCannotBeWrittenFailsTheCommand)
{
    ASSERT_EQ("", errorOf({"rename", q(good), "1", "Other", "-o", q(dir / "other.syx")}, 0));
    for (const auto& [arguments, status] :
         {std::pair{Arguments{"list", q(good), q(good), q(good), q(good)}, 1},
          {Arguments{"check", q(good)}, 1},
          {Arguments{"diff", q(good), q(dir / "other.syx")}, 2},
          {Arguments{"--version"}, 1}}) {
        Arguments toFullDevice{"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full", A3BANK_PATH};
        toFullDevice.insert(toFullDevice.end(), arguments.begin(), arguments.end());
        const auto run = test::run(toFullDevice);
        EXPECT_EQ(status, run.exit.code) << arguments[0];
        EXPECT_EQ("a3bank: write error: No space left on device\n", run.err) << arguments[0];
    }
}

// a3bank without its helper programs beside it still does everything else.
TEST_F(A3Bank, WithoutItsHelpersPdfAndTheDeviceCommandsSaySo)
{
    std::filesystem::create_directory(dir / "bin");
    const auto alone = dir / "bin" / "a3bank", libexec = dir / "libexec" / "a3-librarian";
    std::filesystem::copy_file(A3BANK_PATH, alone);
    const auto pdf = test::run({q(alone), "pdf", q(good), "-o", q(dir / "l.pdf")});
    EXPECT_EQ(1, pdf.exit.code);
    EXPECT_EQ("a3bank: cannot start the PDF renderer " + q(libexec / "a3bank-pdf") +
                  ": No such file or directory\n",
              pdf.err);
    EXPECT_FALSE(std::filesystem::exists(dir / "l.pdf"));
    EXPECT_EQ("a3bank: cannot start the MIDI helper " + q(libexec / "a3bank-midi") +
                  ": No such file or directory\n",
              test::run({q(alone), "ports"}).err);
}

TEST_F(A3Bank, DiffShowsTheChainDataThenEachPatchThatDiffersAndExitsAsDiffDoes)
{
    A3AllDataSource a = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH), b = a;
    A3AllData record = b.data();
    record.chain[100] ^= 0x01;
    record.patch[4][kPatchNameOffset + 2] = 0x1B; // an escape character in the name
    record.patch[4][63] ^= 0x01;
    record.patch[76][0] ^= 0x01;
    b.setData(record);
    test::writeBytes(dir / "a.syx", a.syxData());
    test::writeBytes(dir / "b.syx", b.syxData());

    const auto run = a3bank({"diff", q(dir / "a.syx"), q(dir / "b.syx")});
    EXPECT_EQ(1, run.exit.code) << run.err;
    std::string escaped = a.patchNameAt(4);
    escaped[2] = '?';
    EXPECT_EQ("chain\npatch\t5\t" + a.patchNameAt(4) + '\t' + escaped + "\t11,63\npatch\t77\t" +
                  a.patchNameAt(76) + '\t' + a.patchNameAt(76) + "\t0\n",
              run.out);
    const auto same = a3bank({"diff", q(good), q(dir / "a.syx")});
    EXPECT_EQ(0, same.exit.code);
    EXPECT_EQ("", same.out + same.err);
    const auto unreadable = a3bank({"diff", q(dir / "missing.syx"), q(shortFile)});
    EXPECT_EQ(2, unreadable.exit.code);
    EXPECT_EQ("", unreadable.out);
    EXPECT_EQ(said(dir / "missing.syx", "unreadable: No such file or directory") +
                  said(shortFile, kShortFile),
              unreadable.err);
}

// An ALSA configuration without a sequencer and a JACK server name that no
// server has.
TEST_F(A3Bank, WithoutAnyMidiSystemSaysSoPlainly)
{
    const Arguments noMidi{"ALSA_CONFIG_PATH=" A3_NO_SEQUENCER_CONF,
                           "JACK_DEFAULT_SERVER=a3-none-" + std::to_string(::getpid())};
    const auto run = a3bank({"receive", q(dir / "out.syx"), "--port", "A3"}, noMidi);
    EXPECT_EQ(1, run.exit.code);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("No MIDI system found: the ALSA sequencer is not available and no JACK server "
              "is running.\n",
              run.err);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.syx"));
    // A file that is no bank is refused before MIDI is looked for.
    EXPECT_EQ(said(shortFile, kShortFile),
              a3bank({"send", q(shortFile), "--port", "A3"}, noMidi).err);
}

// A command's help is laid out from its definition (tested in this process)
// and its text read by the manual's check; here the lines that ask for it.
// The device commands answer it without their MIDI helper, which has none.
TEST(A3BankUsage, HelpCommandOrHelpAfterTheCommandGivesTheCommandsHelp)
{
    const auto help = a3bank({"help", "send"});
    EXPECT_EQ(0, help.exit.code);
    EXPECT_EQ("", help.err);
    EXPECT_EQ(0u, help.out.find("Usage: a3bank send FILE --port PORT [--rate BYTES_PER_S]\n\n"))
        << help.out;
    EXPECT_NE(std::string::npos, help.out.find("\n  --rate BYTES_PER_S ")) << help.out;
    for (const Arguments& line : {Arguments{"send", "--help"},
                                  {"-h", "send"},
                                  {"--help", "send"},
                                  {"send", "bank.syx", "--bogus", "--help"},
                                  {"send", "--port", "--help", "bank.syx"}}) {
        const auto run = a3bank(line);
        EXPECT_EQ(0, run.exit.code) << ::testing::PrintToString(line) << run.err;
        EXPECT_EQ(help.out, run.out) << ::testing::PrintToString(line);
    }
    EXPECT_NE(help.out, a3bank({"list", "--help"}).out);
    const auto whole = a3bank({"help"});
    EXPECT_EQ(0, whole.exit.code);
    EXPECT_EQ(a3bank({"--help"}).out, whole.out);
    EXPECT_EQ(0u, whole.out.find("Usage: a3bank COMMAND [ARGUMENTS]\n"));

    // After "--", --help is a name like any other.
    const test::TempDir dir;
    EXPECT_EQ(said(dir / "missing.syx", "unreadable: No such file or directory"),
              errorOf({"rename", q(dir / "missing.syx"), "1", "--", "--help"}));
}

// The parser's table is tested in this process; here how its verdict reaches
// the user. The help is the manual's and the completion's tests to read.
TEST(A3BankUsage, UsageErrorsExitWithTwoAndPointAtTheHelp)
{
    for (const auto& [arguments, error] :
         {std::pair{Arguments{}, "no command given"},
          {Arguments{"frobnicate"}, "unknown command 'frobnicate'"},
          {Arguments{"list", "-x", "f.syx"}, "list: unknown option '-x'"},
          {Arguments{"help", "nosuch"}, "unknown command 'nosuch'"},
          {Arguments{"--help", "send", "list"}, "help: expected [COMMAND]"}}) {
        EXPECT_EQ("a3bank: " + std::string(error) + "\nTry 'a3bank --help' for more information.\n",
                  errorOf(arguments, 2));
    }
}

} // namespace
} // namespace a3
