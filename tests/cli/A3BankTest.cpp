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
const std::filesystem::path kData(A3_TEST_DATA_DIR);
const std::string kShortFile = "wrong length: 10 bytes, expected 29198";

test::RunResult a3bank(Arguments arguments, const Arguments& environment = {})
{
    arguments.insert(arguments.begin(), A3BANK_PATH);
    return test::run(arguments, std::chrono::seconds(30), environment);
}

std::string q(const std::filesystem::path& path)
{
    return path.string();
}

std::string text(const std::filesystem::path& path)
{
    const auto bytes = test::readBytes(path);
    return {bytes.begin(), bytes.end()};
}

A3AllDataSource bankIn(const std::filesystem::path& file)
{
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    EXPECT_TRUE(bank.setSyxData(test::readBytes(file))) << file;
    return bank;
}

class A3Bank : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, a3bank({"new", q(good)}).exit.code);
        test::writeBytes(dir / "short.syx", std::vector<std::uint8_t>(10));
    }
    test::TempDir dir;
    const std::filesystem::path good = dir / "good.syx";
};

TEST_F(A3Bank, NewWritesTheGoldenFileAndReplacesOneOnlyWhenForced)
{
    EXPECT_EQ(test::readBytes(kData / "factory-bank.syx"), test::readBytes(good));
    test::writeBytes(dir / "taken", std::vector<std::uint8_t>{1, 2, 3});
    const auto refused = a3bank({"new", q(dir / "taken")});
    EXPECT_EQ(1, refused.exit.code);
    EXPECT_EQ("a3bank: " + q(dir / "taken") + ": already exists (use --force to replace it)\n",
              refused.err);
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), test::readBytes(dir / "taken"));
    EXPECT_EQ(0, a3bank({"new", "--force", q(dir / "taken")}).exit.code);
    EXPECT_EQ(test::readBytes(good), test::readBytes(dir / "taken"));
}

TEST_F(A3Bank, ListPrintsTheGoldenListingsAndGoesOnPastARefusedFile)
{
    const auto bank = q(kData / "factory-bank.syx");
    const auto run = a3bank({"list", bank, q(dir / "short.syx"), bank});
    EXPECT_EQ(1, run.exit.code);
    EXPECT_EQ("a3bank: " + q(dir / "short.syx") + ": " + kShortFile + "\n", run.err);
    const std::string golden = text(kData / "factory-bank.listing.txt");
    EXPECT_EQ(golden + "\n" + golden, run.out);
}

TEST_F(A3Bank, CheckTellsEachFilesVerdictAndWhatTheReaderTolerates)
{
    auto file = test::readBytes(good);
    file.back() = 0x00;
    test::writeBytes(dir / "odd.syx", file);
    const auto run =
        a3bank({"check", q(good), q(dir / "odd.syx"), q(dir / "short.syx"), q(dir / "missing")});
    EXPECT_EQ(1, run.exit.code);
    const auto odd = q(dir / "odd.syx");
    EXPECT_EQ(q(good) + ": ok\n" + odd + ": ok\n" + odd +
                  ": warning: last byte is 0x00, expected 0xF7\n" + q(dir / "short.syx") +
                  ": rejected: " + kShortFile + "\n" + q(dir / "missing") +
                  ": rejected: unreadable: No such file or directory\n",
              run.out);
    EXPECT_EQ(0, a3bank({"check", q(dir / "odd.syx")}).exit.code);
}

// Names with control characters or bytes that are not UTF-8 keep each result
// and each message on one line.
TEST_F(A3Bank, NamesReachTheTerminalEscaped)
{
    const std::string evil = "evil.syx: ok\nreal";
    const std::string notUtf8 = "bank\xFF.syx";
    std::filesystem::copy_file(good, dir / evil);
    test::writeBytes(dir / notUtf8, std::vector<std::uint8_t>(10));

    const auto check = a3bank({"check", q(dir / evil), q(dir / notUtf8)});
    EXPECT_EQ("'" + q(dir.path()) + "/evil.syx: ok'$'\\n''real': ok\n'" + q(dir.path()) +
                  "/bank'$'\\377''.syx': rejected: " + kShortFile + "\n",
              check.out);
    const auto list = a3bank({"list", q(dir / evil), q(dir / notUtf8)});
    EXPECT_EQ(0u, list.out.find("Korg A3 SysEx File: 'evil.syx: ok'$'\\n''real'\nChain ID: "));
    EXPECT_EQ("a3bank: '" + q(dir.path()) + "/bank'$'\\377''.syx': " + kShortFile + "\n", list.err);
}

// Files of the same name in two folders stay apart: every line names a file
// as it was given. A listing's title names the file alone, as it always has.
TEST_F(A3Bank, NamesEachFileAsItWasGiven)
{
    for (const char* folder : {"f1", "f2"}) {
        std::filesystem::create_directory(dir / folder);
    }
    const auto f1 = dir / "f1" / "bank.syx", f2 = dir / "f2" / "bank.syx";
    std::filesystem::copy_file(good, f1);
    std::filesystem::copy_file(dir / "short.syx", f2);

    EXPECT_EQ(q(f1) + ": ok\n" + q(f2) + ": rejected: " + kShortFile +
                  "\n/nonexistent.syx: rejected: unreadable: No such file or directory\n",
              a3bank({"check", q(f1), q(f2), "/nonexistent.syx"}).out);
    const auto list = a3bank({"list", q(f1), q(f2)});
    EXPECT_EQ(0u, list.out.find("Korg A3 SysEx File: bank.syx\n"));
    EXPECT_EQ("a3bank: " + q(f2) + ": " + kShortFile + "\n", list.err);
}

TEST_F(A3Bank, RenameWritesTheNameByTheBankRulesOrRefusesTheFile)
{
    const auto original = test::readBytes(good);
    const auto run =
        a3bank({"rename", q(good), "100", "Caf\u00e9 au lait", "-o", q(dir / "o.syx")});
    ASSERT_EQ(0, run.exit.code) << run.err;
    EXPECT_EQ(original, test::readBytes(good));
    A3AllDataSource renamed = bankIn(dir / "o.syx");
    EXPECT_EQ("Caf  au", renamed.patchNameAt(99)); // the accented letter became a space
    EXPECT_EQ(test::readBytes(dir / "o.syx"), renamed.syxData()); // checksums were already right
    ASSERT_EQ(0, a3bank({"rename", q(good), "1", "Intro"}).exit.code);
    EXPECT_EQ("Intro  ", bankIn(good).patchNameAt(0));

    auto bad = original;
    bad[0] = 0x00;
    test::writeBytes(dir / "bad.syx", bad);
    const auto refused = a3bank({"rename", q(dir / "bad.syx"), "1", "X"});
    EXPECT_EQ(1, refused.exit.code);
    EXPECT_EQ("a3bank: " + q(dir / "bad.syx") + ": wrong header: byte 0 is 0x00, expected 0xF0\n",
              refused.err);
    EXPECT_EQ(bad, test::readBytes(dir / "bad.syx"));
}

// A bank whose patch at row has the given chain number, and optionally other
// chain data (so another chain ID once saved).
std::filesystem::path writeBank(const test::TempDir& dir, const std::string& name, std::int64_t row,
                                std::uint8_t chain, bool otherChainData)
{
    A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    auto image = bank.patchDataAt(row);
    image[0] = chain;
    bank.setPatchData(image, row);
    if (otherChainData) {
        A3AllData record = bank.data();
        record.chain[0] ^= 0x01;
        bank.setData(record);
    }
    test::writeBytes(dir / name, bank.syxData());
    return dir / name;
}

TEST_F(A3Bank, CopyWritesTheListedPatchesInOrderFromTheTargetNumberOn)
{
    const auto source = writeBank(dir, "src.syx", 7, 10, false);
    const auto target = writeBank(dir, "dst.syx", 0, 0, true);
    const auto run =
        a3bank({"copy", q(source), "9,3,7-8", q(target), "50", "-o", q(dir / "o.syx")});
    ASSERT_EQ(0, run.exit.code) << run.err;
    const auto from = bankIn(source), into = bankIn(target), out = bankIn(dir / "o.syx");
    for (const auto& [row, expected] : {std::pair{48, into.patchDataAt(48)},
                                        {49, from.patchDataAt(2)},
                                        {50, from.patchDataAt(6)},
                                        {51, from.patchDataAt(7)},
                                        {52, from.patchDataAt(8)},
                                        {53, into.patchDataAt(53)}}) {
        EXPECT_EQ(expected, out.patchDataAt(row)) << row;
    }
    ASSERT_EQ(0, a3bank({"copy", q(source), "1", q(target), "100"}).exit.code);
    EXPECT_EQ(from.patchDataAt(0), bankIn(target).patchDataAt(99));
}

TEST_F(A3Bank, CopyRefusesABlockPastPatch100AndChainLinkedPatchesOfAnotherChainId)
{
    const auto source = writeBank(dir, "src.syx", 4, 200, false);
    const auto target = writeBank(dir, "dst.syx", 0, 0, true);
    const auto original = test::readBytes(target);
    for (const auto& [numbers, to, error] :
         {std::tuple{"1-3", "99", std::string("3 patches from patch 99 would run past patch 100")},
          {"4-5", "1",
           "patches using chain data (C0 and up) need the same chain ID; " + q(source) +
               " has df2c, " + q(target) + " has df2b"}}) {
        const auto run = a3bank({"copy", q(source), numbers, q(target), to});
        EXPECT_EQ(1, run.exit.code);
        EXPECT_EQ("a3bank: " + q(target) + ": " + error + "\n", run.err);
    }
    EXPECT_EQ(original, test::readBytes(target));
    EXPECT_EQ(0, a3bank({"copy", q(source), "1-3", q(target), "1"}).exit.code);
}

// The listing's content on the page is the print layer's; here the wiring.
TEST_F(A3Bank, PdfWritesOnePageOnTheChosenPaperOrRefusesTheBank)
{
    const auto pdf = dir / "listing.pdf";
    const auto run = a3bank({"pdf", q(good), "-o", q(pdf), "--paper", "letter"});
    ASSERT_EQ(0, run.exit.code) << run.err;
    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
    EXPECT_EQ(0u, test::pdfInfo(pdf, "Page size").find("612 x 792 pts"));
    EXPECT_EQ("Korg A3 SysEx File: good.syx", test::simplifiedLines(test::pdfLayoutText(pdf))[0]);

    const auto bad = a3bank({"pdf", q(dir / "short.syx"), "-o", q(dir / "bad.pdf")});
    EXPECT_EQ(1, bad.exit.code);
    EXPECT_EQ("a3bank: " + q(dir / "short.syx") + ": " + kShortFile + "\n", bad.err);
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.pdf"));
}

// a3bank holds names as the bytes they are, so it writes any name the system
// takes, UTF-8 or not.
TEST_F(A3Bank, WritesNamesThatAreNotUtf8)
{
    const auto bank = dir / "new\xFF.syx";
    const auto renamed = dir / "renamed\xFE.syx";
    const auto pdf = dir / "listing\xFD.pdf";
    ASSERT_EQ(0, a3bank({"new", q(bank)}).exit.code);
    ASSERT_EQ(0, a3bank({"rename", q(bank), "1", "X", "-o", q(renamed)}).exit.code);
    ASSERT_EQ(0, a3bank({"pdf", q(renamed), "-o", q(pdf)}).exit.code);
    EXPECT_EQ(test::readBytes(good), test::readBytes(bank));
    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
}

// A full disk through each command that writes: the reason is the system's,
// and the old file stays as it was.
TEST(A3BankOnAFullDisk, SaysWhyAndLeavesTheOldFile)
{
    const auto folder = test::onSmallDisk("size=64k");
    if (!folder) {
        return;
    }
    const auto bank = *folder / "bank.syx";
    const auto pdf = *folder / "listing.pdf";
    ASSERT_EQ(0, a3bank({"new", q(bank)}).exit.code);
    test::writeBytes(pdf, std::vector<std::uint8_t>(100, 0x25));
    const auto oldBank = test::readBytes(bank);
    const auto oldPdf = test::readBytes(pdf);
    test::fillUpTo(*folder, 4096);
    for (const auto& [arguments, name] : {std::pair{Arguments{"new", "--force", q(bank)}, bank},
                                          {Arguments{"rename", q(bank), "1", "X"}, bank},
                                          {Arguments{"pdf", q(bank), "-o", q(pdf)}, pdf}}) {
        const auto run = a3bank(arguments);
        EXPECT_EQ(1, run.exit.code) << arguments[0];
        EXPECT_EQ("a3bank: " + q(name) + ": No space left on device\n", run.err);
    }
    EXPECT_EQ(oldBank, test::readBytes(bank));
    EXPECT_EQ(oldPdf, test::readBytes(pdf));
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
    const auto bank = dir / "bank.syx";
    ASSERT_EQ(0, a3bank({"new", q(bank)}).exit.code);
    test::writeBytes(dir / "locked", std::vector<std::uint8_t>{1, 2, 3});
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read);
    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0666));
    const std::string locked = "a3bank: " + (dir / "locked").string() + ": Permission denied\n";
    const std::string fifo = "a3bank: " + (dir / "fifo").string() + ": Not a regular file\n";
    for (const auto& [arguments, message] :
         {std::pair{Arguments{"new", "--force", q(dir / "locked")}, locked},
          {Arguments{"rename", q(bank), "1", "X", "-o", q(dir / "locked")}, locked},
          {Arguments{"pdf", q(bank), "-o", q(dir / "locked")}, locked},
          {Arguments{"copy", q(bank), "1", q(bank), "2", "-o", q(dir / "fifo")}, fifo},
          {Arguments{"pdf", q(bank), "-o", q(dir / "fifo")}, fifo},
          {Arguments{"receive", q(dir / "fifo"), "--port", "any"}, fifo}}) {
        const auto run = a3bank(arguments);
        EXPECT_EQ(1, run.exit.code) << arguments[0];
        EXPECT_EQ(message, run.err) << arguments[0];
    }
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), test::readBytes(dir / "locked"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));

    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write |
                                                 std::filesystem::perms::owner_exec);
    for (const auto& [arguments, name] :
         {std::pair{Arguments{"rename", q(bank), "1", "X"}, bank},
          {Arguments{"pdf", q(bank), "-o", q(dir / "listing.pdf")}, dir / "listing.pdf"}}) {
        const auto run = a3bank(arguments);
        EXPECT_EQ(0, run.exit.code) << arguments[0];
        EXPECT_EQ("a3bank: " + name.string() +
                      ": warning: written, but its folder could not be synced: "
                      "Permission denied\n",
                  run.err);
    }
    EXPECT_EQ("X      ", bankIn(bank).patchNameAt(0));
}

// Output that cannot be written fails the command, whether a write fails on
// the way (four listings are more than a3bank buffers) or only the last.
TEST_F(A3Bank, OutputThatCannotBeWrittenFailsTheCommand)
{
    ASSERT_EQ(0, a3bank({"rename", q(good), "1", "Other", "-o", q(dir / "other.syx")}).exit.code);
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
    std::filesystem::copy_file(A3BANK_PATH, dir / "bin" / "a3bank");
    const auto libexec = dir / "libexec" / "a3-librarian";
    const auto pdf = test::run({q(dir / "bin" / "a3bank"), "pdf", q(good), "-o", q(dir / "l.pdf")});
    EXPECT_EQ(1, pdf.exit.code);
    EXPECT_EQ("a3bank: cannot start the PDF renderer " + q(libexec / "a3bank-pdf") +
                  ": No such file or directory\n",
              pdf.err);
    EXPECT_FALSE(std::filesystem::exists(dir / "l.pdf"));
    EXPECT_EQ("a3bank: cannot start the MIDI helper " + q(libexec / "a3bank-midi") +
                  ": No such file or directory\n",
              test::run({q(dir / "bin" / "a3bank"), "ports"}).err);
}

TEST_F(A3Bank, DiffShowsTheChainDataThenEachPatchThatDiffersAndExitsAsDiffDoes)
{
    A3AllDataSource a = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    A3AllDataSource b = a;
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

    const auto unreadable = a3bank({"diff", q(dir / "missing.syx"), q(dir / "short.syx")});
    EXPECT_EQ(2, unreadable.exit.code);
    EXPECT_EQ("", unreadable.out);
    EXPECT_EQ("a3bank: " + q(dir / "missing.syx") +
                  ": unreadable: No such file or directory\na3bank: " + q(dir / "short.syx") +
                  ": " + kShortFile + "\n",
              unreadable.err);
}

// An ALSA configuration without a sequencer and a JACK server name that no
// server has.
TEST_F(A3Bank, WithoutAnyMidiSystemSaysSoPlainly)
{
    const Arguments noMidi{"ALSA_CONFIG_PATH=" A3_NO_SEQUENCER_CONF,
                           "JACK_DEFAULT_SERVER=a3-none-" + std::to_string(::getpid())};
    for (const Arguments& arguments :
         {Arguments{"ports"}, Arguments{"send", q(good), "--port", "A3"},
          Arguments{"receive", q(dir / "out.syx"), "--port", "A3"}}) {
        const auto run = a3bank(arguments, noMidi);
        EXPECT_EQ(1, run.exit.code) << arguments[0];
        EXPECT_EQ("", run.out);
        EXPECT_EQ("No MIDI system found: the ALSA sequencer is not available and no JACK server "
                  "is running.\n",
                  run.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.syx"));
    // A file that is no bank is refused before MIDI is looked for.
    EXPECT_EQ("a3bank: " + q(dir / "short.syx") + ": " + kShortFile + "\n",
              a3bank({"send", q(dir / "short.syx"), "--port", "A3"}, noMidi).err);
}

// The parser's table is tested in this process; here how its verdict, the
// help and the version reach the user.
TEST(A3BankUsage, UsageErrorsExitWithTwoAndPointAtTheHelp)
{
    for (const auto& [arguments, error] :
         {std::pair{Arguments{}, "no command given"},
          {Arguments{"frobnicate"}, "unknown command 'frobnicate'"},
          {Arguments{"list", "-x", "f.syx"}, "list: unknown option '-x'"},
          {Arguments{"rename", "a", "1\n2", "X"},
           "rename: NUMBER must be 1 to 100, not '1'$'\\n''2'"}}) {
        const auto run = a3bank(arguments);
        EXPECT_EQ(2, run.exit.code) << error;
        EXPECT_EQ("a3bank: " + std::string(error) + "\nTry 'a3bank --help' for more information.\n",
                  run.err);
    }
    const auto help = a3bank({"--help"});
    EXPECT_EQ(0, help.exit.code);
    EXPECT_EQ(0u, help.out.find("Usage: a3bank COMMAND"));
    EXPECT_NE(std::string::npos, help.out.find("\n  rename FILE NUMBER NAME [-o OUTFILE]"));
    EXPECT_EQ(0u, a3bank({"--version"}).out.find("a3bank "));
}

} // namespace
} // namespace a3
