// a3bank end to end: what each command prints, writes and exits with.

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

struct RunResult
{
    int status = -1;
    std::string out;
    std::string err;
};

RunResult a3bank(std::vector<std::string> arguments,
                 const std::vector<std::string>& environment = {})
{
    arguments.insert(arguments.begin(), A3BANK_PATH);
    const test::RunResult run = test::run(arguments, std::chrono::seconds(30), environment);
    return {run.exit.code, run.out, run.err};
}

std::string q(const std::filesystem::path& path)
{
    return path.string();
}

std::size_t countLines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class A3Bank : public ::testing::Test
{
protected:
    void SetUp() override
    {
        good = dir / "good.syx";
        ASSERT_EQ(0, a3bank({"new", q(good)}).status);
    }
    test::TempDir dir;
    std::filesystem::path good;
};

TEST_F(A3Bank, NewWritesTheFactoryBankAsTheGoldenFile)
{
    EXPECT_EQ(test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "factory-bank.syx"),
              test::readBytes(good));
}

TEST_F(A3Bank, NewRefusesToReplaceAFileUnlessForced)
{
    test::writeBytes(dir / "taken", std::vector<std::uint8_t>{1, 2, 3});
    const RunResult refused = a3bank({"new", q(dir / "taken")});
    EXPECT_EQ(1, refused.status);
    EXPECT_NE(std::string::npos, refused.err.find("taken: already exists"));
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), test::readBytes(dir / "taken"));

    EXPECT_EQ(0, a3bank({"new", "--force", q(dir / "taken")}).status);
    EXPECT_EQ(test::readBytes(good), test::readBytes(dir / "taken"));
}

TEST_F(A3Bank, ListPrintsTheGoldenListing)
{
    const std::filesystem::path data(A3_TEST_DATA_DIR);
    const RunResult run = a3bank({"list", q(data / "factory-bank.syx")});
    EXPECT_EQ(0, run.status) << run.err;
    const auto golden = test::readBytes(data / "factory-bank.listing.txt");
    EXPECT_EQ(std::string(golden.begin(), golden.end()), run.out);
}

TEST_F(A3Bank, ListGoesOnPastARefusedFileAndFailsAtTheEnd)
{
    test::writeBytes(dir / "short.syx", std::vector<std::uint8_t>(10));
    const RunResult run = a3bank({"list", q(good), q(dir / "short.syx"), q(good)});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("a3bank: short.syx: wrong length: 10 bytes, expected 29198\n", run.err);
    EXPECT_EQ(2 * 103 + 1, countLines(run.out)); // two listings and one blank line
    EXPECT_NE(std::string::npos, run.out.find("\n\nKorg A3 SysEx File: good.syx\n"));
}

TEST_F(A3Bank, CheckTellsEachFilesVerdict)
{
    auto file = test::readBytes(good);
    file[2] = 0x22;
    test::writeBytes(dir / "header.syx", file);
    std::filesystem::create_directory(dir / "folder");

    const RunResult run = a3bank(
        {"check", q(good), q(dir / "header.syx"), q(dir / "folder"), q(dir / "missing.syx")});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("good.syx: ok\n"
              "header.syx: rejected: wrong header: byte 2 is 0x22, expected 0x21\n"
              "folder: rejected: unreadable: Is a directory\n"
              "missing.syx: rejected: unreadable: No such file or directory\n",
              run.out);
}

TEST_F(A3Bank, CheckWarnsOfWhatTheReaderTolerates)
{
    auto file = test::readBytes(good);
    file.back() = 0x00;
    test::writeBytes(dir / "odd.syx", file);
    const RunResult run = a3bank({"check", q(dir / "odd.syx")});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("odd.syx: ok\nodd.syx: warning: last byte is 0x00, expected 0xF7\n", run.out);
}

// Names with control characters or bytes that are not UTF-8 keep each result
// and each message on one line.
TEST_F(A3Bank, NamesReachTheTerminalEscaped)
{
    const std::string evil = "evil.syx: ok\nreal";
    const std::string notUtf8 = "bank\xFF.syx";
    std::filesystem::copy_file(good, dir / evil);
    test::writeBytes(dir / notUtf8, std::vector<std::uint8_t>(10));

    const RunResult check = a3bank({"check", q(dir / evil), q(dir / notUtf8)});
    EXPECT_EQ("'evil.syx: ok'$'\\n''real': ok\n"
              "'bank'$'\\377''.syx': rejected: wrong length: 10 bytes, expected 29198\n",
              check.out);
    const RunResult list = a3bank({"list", q(dir / evil), q(dir / notUtf8)});
    EXPECT_EQ(0u, list.out.find("Korg A3 SysEx File: 'evil.syx: ok'$'\\n''real'\nChain ID: "));
    EXPECT_EQ("a3bank: 'bank'$'\\377''.syx': wrong length: 10 bytes, expected 29198\n", list.err);
}

TEST_F(A3Bank, RenameStoresTheNameByTheBankRulesAndRecomputesChecksums)
{
    const RunResult run = a3bank({"rename", q(good), "100", "Caf\u00e9 au lait"});
    ASSERT_EQ(0, run.status) << run.err;
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    ASSERT_TRUE(bank.setSyxData(test::readBytes(good)));
    EXPECT_EQ("Caf  au", bank.patchNameAt(99));       // the accented letter became a space
    EXPECT_EQ(test::readBytes(good), bank.syxData()); // checksums were already right
}

TEST_F(A3Bank, RenameToAnOutputFileLeavesTheSourceAlone)
{
    const auto original = test::readBytes(good);
    ASSERT_EQ(0, a3bank({"rename", q(good), "1", "Intro", "-o", q(dir / "out.syx")}).status);
    EXPECT_EQ(original, test::readBytes(good));
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    ASSERT_TRUE(bank.setSyxData(test::readBytes(dir / "out.syx")));
    EXPECT_EQ("Intro  ", bank.patchNameAt(0));
}

TEST_F(A3Bank, RenameRefusesBadNumbersAndBadFilesWithoutWriting)
{
    const auto original = test::readBytes(good);
    for (const char* number : {"0", "101", "-1", "1x", ""}) {
        EXPECT_EQ(2, a3bank({"rename", q(good), number, "X"}).status) << number;
    }
    test::writeBytes(dir / "bad.syx", std::vector<std::uint8_t>(kAllDataFileSize, 0));
    const RunResult run = a3bank({"rename", q(dir / "bad.syx"), "1", "X"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("bad.syx: wrong header: byte 0 is 0x00"));
    EXPECT_EQ(std::vector<std::uint8_t>(kAllDataFileSize, 0), test::readBytes(dir / "bad.syx"));
    EXPECT_EQ(original, test::readBytes(good));
}

TEST_F(A3Bank, WriteFailuresAreReportedAndLeaveNoPartialFile)
{
    const RunResult run =
        a3bank({"rename", q(good), "1", "X", "-o", q(dir / "no-such-folder" / "o")});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("a3bank: o: "));
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

std::vector<std::uint8_t> patchOf(const std::filesystem::path& file, std::int64_t row)
{
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    EXPECT_TRUE(bank.setSyxData(test::readBytes(file)));
    return bank.patchDataAt(row);
}

// A bank whose patch at row has the given chain number, and optionally other
// chain data (so another chain ID once saved).
std::filesystem::path writeBank(const test::TempDir& dir, const std::string& name, std::int64_t row,
                                std::uint8_t chain, bool otherChainData)
{
    A3AllDataSource bank{std::filesystem::path(A3_FACTORY_BANK_PATH)};
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

TEST_F(A3Bank, CopyWritesTheListedPatchesInOrderFromTheTargetNumberDown)
{
    const auto source = writeBank(dir, "src.syx", 7, 10, false);
    const auto target = writeBank(dir, "dst.syx", 0, 0, true);
    const RunResult run =
        a3bank({"copy", q(source), "9,3,7-8", q(target), "50", "-o", q(dir / "out.syx")});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(patchOf(source, 2), patchOf(dir / "out.syx", 49));
    EXPECT_EQ(patchOf(source, 6), patchOf(dir / "out.syx", 50));
    EXPECT_EQ(patchOf(source, 7), patchOf(dir / "out.syx", 51));
    EXPECT_EQ(patchOf(source, 8), patchOf(dir / "out.syx", 52));
    EXPECT_EQ(patchOf(target, 53), patchOf(dir / "out.syx", 53));
    EXPECT_EQ(patchOf(target, 48), patchOf(dir / "out.syx", 48));

    const auto original = test::readBytes(target);
    ASSERT_EQ(0, a3bank({"copy", q(source), "1", q(target), "100"}).status);
    EXPECT_NE(original, test::readBytes(target));
    EXPECT_EQ(patchOf(source, 0), patchOf(target, 99));
}

TEST_F(A3Bank, CopyRefusesABlockPastPatch100)
{
    const auto target = writeBank(dir, "dst.syx", 0, 0, false);
    const auto original = test::readBytes(target);
    const RunResult run = a3bank({"copy", q(good), "1-3", q(target), "99"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find("dst.syx: 3 patches from patch 99 would run past"));
    EXPECT_EQ(original, test::readBytes(target));
}

TEST_F(A3Bank, CopyOfChainLinkedPatchesNeedsTheSameChainId)
{
    const auto source = writeBank(dir, "src.syx", 4, 200, false);
    const auto otherChain = writeBank(dir, "other.syx", 0, 0, true);
    const auto original = test::readBytes(otherChain);

    const RunResult refused = a3bank({"copy", q(source), "4-5", q(otherChain), "1"});
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ("a3bank: other.syx: patches using chain data (C0 and up) need the same chain ID; "
              "src.syx has df2c, other.syx has df2b\n",
              refused.err);
    EXPECT_EQ(original, test::readBytes(otherChain));
    ASSERT_EQ(0, a3bank({"copy", q(source), "1-3", q(otherChain), "1"}).status);
}

TEST_F(A3Bank, PdfWritesTheListingAsOnePageOnTheChosenPaper)
{
    const std::filesystem::path data(A3_TEST_DATA_DIR);
    const auto pdf = dir / "listing.pdf";
    const RunResult run =
        a3bank({"pdf", q(data / "factory-bank.syx"), "-o", q(pdf), "--paper", "A4"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
    EXPECT_EQ(0u, test::pdfInfo(pdf, "Page size").find("595 x 842 pts"));

    // The page has the golden listing's title, chain ID and header, with
    // patches 1 to 50 on the left and 51 to 100 on the right.
    const auto golden = test::readBytes(data / "factory-bank.listing.txt");
    const auto listing = test::simplifiedLines(std::string(golden.begin(), golden.end()));
    ASSERT_EQ(103u, listing.size());
    std::vector<std::string> expected{listing[0], listing[1], listing[2] + ' ' + listing[2]};
    for (std::size_t k = 0; k < 50; ++k) {
        expected.push_back(listing[3 + k] + ' ' + listing[53 + k]);
    }
    EXPECT_EQ(expected, test::simplifiedLines(test::pdfLayoutText(pdf)));

    ASSERT_EQ(0, a3bank({"pdf", q(good), "--paper", "letter", "-o", q(pdf)}).status);
    EXPECT_EQ(0u, test::pdfInfo(pdf, "Page size").find("612 x 792 pts"));
    EXPECT_EQ("Korg A3 SysEx File: good.syx", test::simplifiedLines(test::pdfLayoutText(pdf))[0]);

    ASSERT_EQ(0, a3bank({"pdf", q(good), "-o", q(pdf)}).status); // the default paper
    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
}

TEST_F(A3Bank, PdfRefusesABadBankAndAnUnwritableOutput)
{
    test::writeBytes(dir / "bad.syx", std::vector<std::uint8_t>(10));
    const RunResult bad = a3bank({"pdf", q(dir / "bad.syx"), "-o", q(dir / "bad.pdf")});
    EXPECT_EQ(1, bad.status);
    EXPECT_NE(std::string::npos, bad.err.find("a3bank: bad.syx: wrong length: 10 bytes"));
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.pdf"));

    const RunResult unwritable =
        a3bank({"pdf", q(good), "-o", q(dir / "no-such-folder" / "o.pdf")});
    EXPECT_EQ(1, unwritable.status);
    EXPECT_NE(std::string::npos, unwritable.err.find("a3bank: o.pdf: "));
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

// a3bank holds names as the bytes they are, so it writes any name the system
// takes, UTF-8 or not.
TEST_F(A3Bank, WritesNamesThatAreNotUtf8)
{
    const auto bank = dir / "new\xFF.syx";
    const auto renamed = dir / "renamed\xFE.syx";
    const auto pdf = dir / "listing\xFD.pdf";
    ASSERT_EQ(0, a3bank({"new", q(bank)}).status);
    ASSERT_EQ(0, a3bank({"rename", q(bank), "1", "X", "-o", q(renamed)}).status);
    ASSERT_EQ(0, a3bank({"pdf", q(renamed), "-o", q(pdf)}).status);
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
    ASSERT_EQ(0, a3bank({"new", q(bank)}).status);
    test::writeBytes(pdf, std::vector<std::uint8_t>(100, 0x25));
    const auto oldBank = test::readBytes(bank);
    const auto oldPdf = test::readBytes(pdf);
    test::fillUpTo(*folder, 4096);
    using Arguments = std::vector<std::string>;
    for (const auto& [arguments, name] :
         {std::pair{Arguments{"new", "--force", q(bank)}, "bank.syx"},
          std::pair{Arguments{"rename", q(bank), "1", "X"}, "bank.syx"},
          std::pair{Arguments{"pdf", q(bank), "-o", q(pdf)}, "listing.pdf"}}) {
        const RunResult run = a3bank(arguments);
        EXPECT_EQ(1, run.status) << arguments[0];
        EXPECT_EQ("a3bank: " + std::string(name) + ": No space left on device\n", run.err);
    }
    EXPECT_EQ(oldBank, test::readBytes(bank));
    EXPECT_EQ(oldPdf, test::readBytes(pdf));
}

// a3bank without its helper programs beside it still does everything else.
TEST_F(A3Bank, WithoutItsHelpersPdfAndTheDeviceCommandsSaySo)
{
    std::filesystem::create_directory(dir / "bin");
    std::filesystem::copy_file(A3BANK_PATH, dir / "bin" / "a3bank");
    const test::RunResult run =
        test::run({q(dir / "bin" / "a3bank"), "pdf", q(good), "-o", q(dir / "listing.pdf")});
    EXPECT_EQ(1, run.exit.code);
    EXPECT_EQ("a3bank: cannot start the PDF renderer " +
                  q(dir / "libexec" / "a3-librarian" / "a3bank-pdf") +
                  ": No such file or directory\n",
              run.err);
    EXPECT_FALSE(std::filesystem::exists(dir / "listing.pdf"));
    EXPECT_EQ("a3bank: cannot start the MIDI helper " +
                  q(dir / "libexec" / "a3-librarian" / "a3bank-midi") +
                  ": No such file or directory\n",
              test::run({q(dir / "bin" / "a3bank"), "ports"}).err);
}

TEST_F(A3Bank, DiffOfTheSameBankPrintsNothing)
{
    std::filesystem::copy_file(good, dir / "copy.syx");
    const RunResult run = a3bank({"diff", q(good), q(dir / "copy.syx")});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.out + run.err);
}

TEST_F(A3Bank, DiffShowsTheChainDataThenEachPatchThatDiffers)
{
    A3AllDataSource a{std::filesystem::path(A3_FACTORY_BANK_PATH)};
    A3AllDataSource b = a;
    A3AllData record = b.data();
    record.chain[100] ^= 0x01;
    record.patch[4][kPatchNameOffset + 2] = 0x1B; // an escape character in the name
    record.patch[4][63] ^= 0x01;
    record.patch[76][0] ^= 0x01;
    b.setData(record);
    test::writeBytes(dir / "a.syx", a.syxData());
    test::writeBytes(dir / "b.syx", b.syxData());

    const RunResult run = a3bank({"diff", q(dir / "a.syx"), q(dir / "b.syx")});
    EXPECT_EQ(1, run.status) << run.err;
    std::string escaped = a.patchNameAt(4);
    escaped[2] = '?';
    EXPECT_EQ("chain\n"
              "patch\t5\t" +
                  a.patchNameAt(4) + '\t' + escaped + "\t11,63\n" + "patch\t77\t" +
                  a.patchNameAt(76) + '\t' + a.patchNameAt(76) + "\t0\n",
              run.out);
}

TEST_F(A3Bank, DiffOfAFileItCannotReadExitsWithTwo)
{
    test::writeBytes(dir / "short.syx", std::vector<std::uint8_t>(10));
    const RunResult run = a3bank({"diff", q(dir / "missing.syx"), q(dir / "short.syx")});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("a3bank: missing.syx: unreadable: No such file or directory\n"
              "a3bank: short.syx: wrong length: 10 bytes, expected 29198\n",
              run.err);
}

// An ALSA configuration without a sequencer and a JACK server name that no
// server has.
TEST_F(A3Bank, WithoutAnyMidiSystemSaysSoPlainly)
{
    const std::vector<std::string> noMidi{"ALSA_CONFIG_PATH=" A3_NO_SEQUENCER_CONF,
                                          "JACK_DEFAULT_SERVER=a3-none-" +
                                              std::to_string(::getpid())};
    using Arguments = std::vector<std::string>;
    for (const Arguments& arguments :
         {Arguments{"ports"}, Arguments{"send", q(good), "--port", "A3"},
          Arguments{"receive", q(dir / "out.syx"), "--port", "A3"}}) {
        const RunResult run = a3bank(arguments, noMidi);
        EXPECT_EQ(1, run.status) << arguments[0];
        EXPECT_EQ("", run.out);
        EXPECT_EQ("No MIDI system found: the ALSA sequencer is not available and no JACK server "
                  "is running.\n",
                  run.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.syx"));
    // A file that is no bank is refused before MIDI is looked for.
    test::writeBytes(dir / "short.syx", std::vector<std::uint8_t>(10));
    EXPECT_EQ("a3bank: short.syx: wrong length: 10 bytes, expected 29198\n",
              a3bank({"send", q(dir / "short.syx"), "--port", "A3"}, noMidi).err);
}

TEST(A3BankUsage, UsageErrorsExitWithTwo)
{
    using Arguments = std::vector<std::string>;
    for (const Arguments& arguments :
         {Arguments{},
          Arguments{"frobnicate"},
          Arguments{"list"},
          Arguments{"check"},
          Arguments{"new"},
          Arguments{"new", "a", "--force", "--force"},
          Arguments{"rename", "a", "1"},
          Arguments{"rename", "-o"},
          Arguments{"copy", "a", "1", "b"},
          Arguments{"copy", "a", "0", "b", "1"},
          Arguments{"copy", "a", "5-3", "b", "1"},
          Arguments{"copy", "a", "1,", "b", "1"},
          Arguments{"copy", "a", "1", "b", "101"},
          Arguments{"pdf"},
          Arguments{"pdf", "a.syx"},
          Arguments{"pdf", "a.syx", "-o"},
          Arguments{"pdf", "a.syx", "b.syx", "-o", "x.pdf"},
          Arguments{"pdf", "a.syx", "-o", "x.pdf", "--paper"},
          Arguments{"pdf", "a.syx", "-o", "x.pdf", "--paper", "B5"},
          Arguments{"diff", "a"},
          Arguments{"ports", "a"},
          Arguments{"send", "a.syx"},
          Arguments{"send", "a.syx", "--port", "A3", "--rate", "0"},
          Arguments{"send", "a.syx", "--port", "A3", "--rate", "312500.5"},
          Arguments{"send", "a.syx", "--port", "A3", "--rate", "fast"},
          Arguments{"receive", "o.syx", "--port"},
          Arguments{"receive", "o.syx", "--port", "A3", "--timeout", "-1"},
          Arguments{"receive", "o.syx", "--port", "A3", "--timeout", "86401"}}) {
        const RunResult run = a3bank(arguments);
        EXPECT_EQ(2, run.status) << ::testing::PrintToString(arguments);
        EXPECT_EQ(0u, run.err.find("a3bank: ")) << run.err;
        EXPECT_NE(std::string::npos, run.err.find("Try 'a3bank --help'")) << run.err;
    }
    // A refused value is named terminal-safe.
    EXPECT_EQ(0u, a3bank({"rename", "a", "1\n2", "X"})
                      .err.find("a3bank: rename: NUMBER must be 1 to 100, not '1'$'\\n''2'\n"));
    const RunResult help = a3bank({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("Usage: a3bank COMMAND"));
    const RunResult version = a3bank({"--version"});
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(0u, version.out.find("a3bank "));
}

} // namespace
} // namespace a3
