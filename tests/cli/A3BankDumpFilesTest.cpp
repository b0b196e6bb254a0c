// a3bank on files that hold dumps in other ways: check says what each holds,
// extract writes each dump to a file of its own and never over one, recover
// rescues what a cut dump holds, export writes a MIDI file that another
// program reads back, and the reading commands take a file of one dump.

#include "A3AllDataSource.h"
#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kData = A3_TEST_DATA_DIR;

test::RunResult a3bank(std::vector<std::string> arguments, const fs::path& folder = {})
{
    std::vector<std::string> commandLine{A3BANK_PATH};
    if (!folder.empty()) {
        // Run from the folder, for extract's default output.
        commandLine = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.string(), A3BANK_PATH};
    }
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    return test::run(commandLine, 30s);
}

TEST(A3BankDumpFiles, CheckSaysWhatEachFileHoldsAndExitsZeroOnlyWhenEachHoldsADump)
{
    const std::string song = (kData / "scan/format2-two-dumps.mid").string();
    const std::string zip = (kData / "archives/three-banks.zip").string();
    const std::string none = (kData / "scan/other-sysex.mid").string();
    const test::RunResult some =
        a3bank({"check", (kData / "factory-bank.syx").string(), song, zip});
    EXPECT_EQ(some.out, (kData / "factory-bank.syx").string() + ": ok\n" + song +
                            ": 2 All-Data dumps in a MIDI file\n" + zip +
                            ": 3 All-Data dumps in a zip archive with 4 files\n");
    EXPECT_EQ(some.exit.code, 0);
    const test::RunResult refused = a3bank({"check", song, none});
    EXPECT_EQ(refused.out, song + ": 2 All-Data dumps in a MIDI file\n" + none +
                               ": rejected: a MIDI file with 3 SysEx messages, none of them an "
                               "All-Data dump\n");
    EXPECT_EQ(refused.exit.code, 1);
}

TEST(A3BankDumpFiles, ExtractWritesEachDumpAsFoundNamedAfterItsSourceAndNeverOverAFile)
{
    const test::TempDir dir;
    const std::vector<std::uint8_t> factory = test::readBytes(kData / "factory-bank.syx");
    const std::string songs = (kData / "archives/songs.tgz").string();
    const test::RunResult first = a3bank({"extract", songs}, dir.path());
    EXPECT_EQ(first.out, songs + " › song.mid, dump 1\t./song.syx\n" + songs +
                             " › song.mid, dump 2\t./song-2.syx\n");
    EXPECT_EQ(first.err, "a3bank: " + songs +
                             " › cut.mid: cut short: the bytes ended after 19930 of its 29198 "
                             "bytes\n");
    EXPECT_EQ(first.exit.code, 0);
    EXPECT_EQ(test::readBytes(dir / "song.syx"), factory);
    EXPECT_EQ(test::readBytes(dir / "song-2.syx"), factory);

    // Again, into a folder given: the names taken get a number.
    const test::RunResult again = a3bank({"extract", "-o", dir.path().string(), songs});
    EXPECT_EQ(again.out, songs + " › song.mid, dump 1\t" + (dir / "song 2.syx").string() + "\n" +
                             songs + " › song.mid, dump 2\t" + (dir / "song-2 2.syx").string() +
                             "\n");
    EXPECT_EQ(test::namesIn(dir.path()),
              (std::vector<std::string>{"song 2.syx", "song-2 2.syx", "song-2.syx", "song.syx"}));

    // A folder that is not there is told once, and nothing is read.
    const std::string more = (dir / "more").string();
    const std::string zip = (kData / "archives/three-banks.zip").string();
    const test::RunResult nowhere = a3bank({"extract", "-o", more, zip});
    EXPECT_EQ(nowhere.exit.code, 1);
    EXPECT_EQ(nowhere.err, "a3bank: " + more + ": No such file or directory\n");
    EXPECT_EQ(nowhere.out, "");

    // A file without a dump fails the command; the others are still written.
    fs::create_directory(dir / "more");
    const std::string none = (kData / "scan/other-sysex.mid").string();
    const test::RunResult mixed = a3bank({"extract", "-o", more, none, zip});
    EXPECT_EQ(mixed.exit.code, 1);
    EXPECT_EQ(mixed.err,
              "a3bank: " + none +
                  ": a MIDI file with 3 SysEx messages, none of them an All-Data dump\n");
    EXPECT_EQ(test::namesIn(dir / "more"),
              (std::vector<std::string>{"bank 1.syx", "bank 2.syx", "bank 3.syx"}));
}

TEST(A3BankDumpFiles, RecoverWritesWhatArrivedWholeAndRefusesWhenNothingDid)
{
    const test::TempDir dir;
    A3AllDataSource source = test::bankWith({{1, u"First"}, {28, u"Last in"}});
    const std::vector<std::uint8_t> bank = source.syxData();
    test::writeBytes(dir / "cut.syx", std::span(bank).first(20000)); // patch 29 is cut
    const test::RunResult recovered =
        a3bank({"recover", (dir / "cut.syx").string(), "-o", (dir / "out.syx").string()});
    EXPECT_EQ(recovered.exit.code, 0) << recovered.err;
    EXPECT_NE(recovered.err.find("Recovered 28 of 100 patches: 1–28."), std::string::npos)
        << recovered.err;
    // Patches 1 to 28 as they were, the others the factory bank's.
    const A3AllDataSource out =
        A3AllDataSource::fromSyxData(test::readBytes(dir / "out.syx")).value();
    const A3AllDataSource factory = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    for (std::int64_t row = 0; row < 100; ++row) {
        EXPECT_EQ(out.patchDataAt(row), (row < 28 ? source : factory).patchDataAt(row)) << row;
    }

    // Cut inside the chain data, which comes first: no patch at all.
    test::writeBytes(dir / "early.syx", std::span(bank).first(5000));
    const test::RunResult nothing =
        a3bank({"recover", (dir / "early.syx").string(), "-o", (dir / "none.syx").string()});
    EXPECT_EQ(nothing.exit.code, 1);
    EXPECT_FALSE(fs::exists(dir / "none.syx"));
    EXPECT_NE(nothing.err.find("no patch could be recovered; nothing written"), std::string::npos)
        << nothing.err;
}

// Each way of writing holds the bank, and the options reach the file (what
// another program reads of the file is the writer's own test).
TEST(A3BankDumpFiles, ExportWritesTheBankAsAMidiFileAsAsked)
{
    const test::TempDir dir;
    const fs::path bank = kData / "factory-bank.syx";
    const std::vector<std::vector<std::string>> ways{
        {}, {"--packet", "256"}, {"--packet", "256", "--rate", "1562.5"}};
    std::vector<std::vector<std::uint8_t>> written;
    for (const std::vector<std::string>& options : ways) {
        const fs::path out = dir / ("bank" + std::to_string(written.size()) + ".mid");
        std::vector<std::string> arguments{"export", bank.string(), "-o", out.string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        ASSERT_EQ(a3bank(arguments).exit.code, 0);
        EXPECT_EQ(a3bank({"diff", out.string(), bank.string()}).exit.code, 0);
        written.push_back(test::readBytes(out));
    }
    EXPECT_LT(written[0].size(), written[1].size()); // one event, then many
    EXPECT_EQ(written[1].size(), written[2].size()); // the same packets, timed apart
    EXPECT_NE(written[1], written[2]);
    EXPECT_EQ(a3bank({"export", bank.string(), "-o", (dir / "x.mid").string(), "--packet", "15"})
                  .exit.code,
              2);
}

TEST(A3BankDumpFiles, ReadingCommandsTakeAFileOfOneDumpAndPointSeveralAtExtract)
{
    const std::string zip = (kData / "archives/three-banks.zip").string();
    const test::RunResult several = a3bank({"list", zip});
    EXPECT_EQ(several.exit.code, 1);
    EXPECT_EQ(several.err, "a3bank: " + zip +
                               ": holds 3 All-Data dumps; a3bank extract writes each to a file "
                               "of its own\n");
    const test::RunResult one = a3bank({"list", (kData / "scan/format1-packets.rmi").string()});
    EXPECT_EQ(one.exit.code, 0);
    EXPECT_EQ(one.out,
              a3bank({"list", (kData / "factory-bank.syx").string()})
                  .out.replace(0, std::string("Korg A3 SysEx File: factory-bank.syx").size(),
                               "Korg A3 SysEx File: format1-packets.rmi"));
    // Writing commands keep to bare dumps: they write the bank back as one.
    const test::RunResult rename = a3bank(
        {"rename", (kData / "scan/format0.mid").string(), "1", "X", "-o", "/nonexistent/x.syx"});
    EXPECT_EQ(rename.exit.code, 1);
    EXPECT_NE(rename.err.find("wrong length"), std::string::npos) << rename.err;
}

// Member names are shown terminal-safe, one line a dump; a dump whose name
// the system refuses is told once and the others are still written.
TEST(A3BankDumpFiles, ExtractTellsEveryDumpOnOneLineAndEachFailureOnce)
{
    const test::TempDir dir;
    const std::string controlName = (kData / "archives/control-name.tgz").string();
    const test::RunResult named = a3bank({"extract", "-o", dir.path().string(), controlName});
    EXPECT_EQ(named.exit.code, 0) << named.err;
    EXPECT_EQ(named.out, controlName + " › 'new'$'\\n''line.syx'\t'" + dir.path().string() +
                             "/new'$'\\n''line.syx'\n");
    // check's warnings name the dump the same way.
    auto odd = test::readBytes(kData / "factory-bank.syx");
    odd.back() = 0x00;
    test::writeBytes(dir / "new\nline.syx", odd);
    const std::string tar = "cd '" + dir.path().string() + "' && tar -cf odd.tar 'new\nline.syx'";
    ASSERT_EQ(0, std::system(tar.c_str()));
    const test::RunResult checked = a3bank({"check", (dir / "odd.tar").string()});
    EXPECT_NE(checked.out.find("odd.tar › 'new'$'\\n''line.syx': warning: last byte is 0x00"),
              std::string::npos)
        << checked.out;

    // The second dump's name, with its "-2", is one byte longer than a
    // folder takes.
    const std::string longName = std::string(251, 's') + ".mid";
    fs::copy_file(kData / "scan/format2-two-dumps.mid", dir / longName);
    const test::RunResult tooLong = a3bank({"extract", longName}, dir.path());
    EXPECT_EQ(tooLong.exit.code, 1);
    EXPECT_EQ(tooLong.out, longName + ", dump 1\t./" + std::string(251, 's') + ".syx\n");
    EXPECT_EQ(tooLong.err, "a3bank: ./" + std::string(251, 's') + "-2.syx: File name too long\n");
}

// Without a dump cut short, the file's first dump is the one recovered, and
// the report names where it was.
TEST(A3BankDumpFiles, RecoverTakesTheFirstWholeDumpWhenNoneIsCut)
{
    const test::TempDir dir;
    const std::string zip = (kData / "archives/three-banks.zip").string();
    const test::RunResult recovered = a3bank({"recover", zip, "-o", (dir / "out.syx").string()});
    EXPECT_EQ(recovered.exit.code, 0) << recovered.err;
    EXPECT_EQ(recovered.err.rfind("a3bank: " + zip + " › bank 1.syx:\n", 0), 0u) << recovered.err;
    EXPECT_EQ(test::readBytes(dir / "out.syx"), test::readBytes(kData / "factory-bank.syx"));
}

} // namespace
} // namespace a3
