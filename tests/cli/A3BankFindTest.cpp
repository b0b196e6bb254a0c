// a3bank find end to end: what it prints and exits with for a folder given
// and for the app's library. The query rules themselves are the library's.

#include "ChildProcess.h"
#include "Isolation.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace a3 {
namespace {

namespace fs = std::filesystem;

TEST(A3BankFind, PrintsEachPatchFoundAndExitsAsGrepDoes)
{
    const test::TempDir dir;
    const fs::path banks = dir / "banks";
    // The patches named in b/two.syx but the last are a one.syx:7's sound.
    test::writeBytes(banks / "b/two.syx",
                     test::bankWith({{5, u"Hall"}, {6, u"x\tHALL"}, {100, u"Last"}},
                                    {{5, 7}, {6, 7}, {100, 100}})
                         .syxData());
    test::writeBytes(banks / "a one.syx",
                     test::bankWith({{7, u"BigHall"}, {9, u"Room"}}, {{7, 7}, {9, 9}}).syxData());
    test::writeBytes(banks / "notes.syx", std::vector<std::uint8_t>(kAllDataFileSize, 'x'));
    // The app's library: one folder of the user's and the banks received.
    const fs::path received = dir / "data/A3 Librarian/Received";
    test::writeBytes(received / "2026-12-07 14.03.22.syx",
                     test::bankWith({{1, u"Hall"}}).syxData());
    test::writeBytes(dir / "config/A3 Librarian/library-folders",
                     std::vector<std::uint8_t>{'/', 'n', 'o', 'n', 'e', '\n'});
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + (dir / "config").string(),
                                               "XDG_DATA_HOME=" + (dir / "data").string()};
    const std::string b = banks.string();

    const struct
    {
        std::vector<std::string> arguments;
        std::string out;
        int status;
        std::string err;
    } cases[] = {
        {{"find", "hall", b},
         b + "/a one.syx\t7\tBigHall\n" + b + "/b/two.syx\t5\tHall   \n" + b +
             "/b/two.syx\t6\tx HALL \n",
         0,
         ""},
        {{"find", "ROOM", b, b + "/b"}, b + "/a one.syx\t9\tRoom   \n", 0, ""},
        // The file of --same under no DIR given, and not listed twice when it is.
        {{"find", "--same", b + "/a one.syx:7", b + "/b"},
         b + "/a one.syx\t7\tBigHall\n" + b + "/b/two.syx\t5\tHall   \n" + b +
             "/b/two.syx\t6\tx HALL \n",
         0,
         ""},
        {{"find", "--same", b + "/a one.syx:9", b}, b + "/a one.syx\t9\tRoom   \n", 0, ""},
        {{"find", "--same", b + "/b/two.syx:100", b}, b + "/b/two.syx\t100\tLast   \n", 0, ""},
        {{"find", "zzz", b}, "", 1, ""},
        {{"find", "hall"},
         received.string() + "/2026-12-07 14.03.22.syx\t1\tHall   \n",
         2,
         "a3bank: /none: No such file or directory\n"},
        {{"find", "--same", b + "/notes.syx:1", b},
         "",
         2,
         "a3bank: " + b + "/notes.syx: holds no All-Data dump\n"},
        {{"find", "--same", b + "/a one.syx:101", b}, "", 2, ""},
        {{"find", "--same", ":5", b},
         "",
         2,
         "a3bank: find: --same needs FILE:NUMBER (1 to 100), not ':5'\n"
         "Try 'a3bank --help' for more information.\n"},
        {{"find"}, "", 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        std::vector<std::string> commandLine{A3BANK_PATH};
        commandLine.insert(commandLine.end(), c.arguments.begin(), c.arguments.end());
        const test::RunResult run = test::run(commandLine, std::chrono::seconds(30), environment);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.exit.code, c.status);
        if (c.status != 2 || !c.err.empty()) {
            EXPECT_EQ(run.err, c.err);
        }
    }
}

// What tag says of a sound, find finds under any name and in any bank; the
// sounds file carries it to another user's database, where import merges it.
TEST(A3BankFind, FindsSoundsByWhatTagSaidOfThem)
{
    const test::TempDir dir;
    const std::string b = (dir / "banks").string();
    test::writeBytes(dir / "banks/a.syx",
                     test::bankWith({{1, u"Hall"}, {2, u"Hall 2"}}, {{1, 1}, {2, 2}}).syxData());
    test::writeBytes(dir / "banks/b.syx",
                     test::bankWith({{9, u"My Hall"}, {10, u"Room"}}, {{9, 1}, {10, 2}}).syxData());
    const auto a3bank = [&](std::vector<std::string> arguments, const std::string& user = "me") {
        arguments.insert(arguments.begin(), A3BANK_PATH);
        return test::run(
            arguments, std::chrono::seconds(30),
            {"XDG_DATA_HOME=" + (dir / user).string(), "XDG_CONFIG_HOME=" + (dir / user).string()});
    };
    const auto expectRun = [](const test::RunResult& run, int status, const std::string& out) {
        EXPECT_EQ(run.exit.code, status) << run.err;
        EXPECT_EQ(run.out, out);
    };

    expectRun(a3bank({"tag", b + "/a.syx:1", "--fav", "yes", "--rating", "4", "--add", "Ambient",
                      "--add", "live", "--note", "Gig in May"}),
              0, "");
    expectRun(a3bank({"tag", b + "/b.syx:10", "--fav", "no", "--add", "dark"}), 0, "");
    const std::string hall = b + "/a.syx\t1\tHall   \n" + b + "/b.syx\t9\tMy Hall\n";
    expectRun(a3bank({"find", "hall fav tag:AMBIENT rating>=3 note:may", b}), 0, hall);
    // a.syx:2 is b.syx:10's sound under another name.
    expectRun(a3bank({"find", "fav:no hall", b}), 0, b + "/a.syx\t2\tHall 2 \n");
    expectRun(a3bank({"find", "-tag:dark hall", b}), 2, "");
    expectRun(a3bank({"find", "--", "-tag:dark hall", b}), 0, hall);
    expectRun(a3bank({"find", "rating>=6", b}), 2, "");
    // Another user has said nothing yet, and has no database made by a find.
    expectRun(a3bank({"find", "fav", b}, "other"), 1, "");
    EXPECT_FALSE(fs::exists(dir / "other/A3 Librarian/sounds.sqlite3"));

    const fs::path file = dir / "mine.json";
    expectRun(a3bank({"sounds", "export", "-o", file.string()}), 0, "");
    expectRun(a3bank({"tag", b + "/a.syx:1", "--fav", "no", "--remove", "live"}, "other"), 0, "");
    expectRun(a3bank({"sounds", "import", file.string()}, "other"), 0,
              file.string() +
                  ": 2 sounds merged: 1 new, 3 favourites, ratings and notes decided later there "
                  "taken, 3 tags added (a tag removed here comes back); 0 sets new, 0 sounds "
                  "added to sets, 0 smart lists new\n");
    expectRun(a3bank({"find", "fav tag:live", b}, "other"), 1, "");
    expectRun(a3bank({"find", "fav:no tag:live rating=4", b}, "other"), 0, hall);

    // Sets and smart lists are counted apart.
    std::ofstream(dir / "sets.json")
        << R"({"format": "A3 Librarian sounds", "version": 2, "sounds": [], "sets": [{"name": )"
        << R"("Gig", "sounds": [{"patch": ")" << std::string(128, 'a')
        << R"(", "chainId": "00ff"}]}], "smartLists": [{"name": "Best", "query": "fav"}]})";
    expectRun(a3bank({"sounds", "import", (dir / "sets.json").string()}, "other"), 0,
              (dir / "sets.json").string() +
                  ": 0 sounds merged: 0 new, 0 favourites, ratings and notes decided later there "
                  "taken, 0 tags added (a tag removed here comes back); 1 sets new, 1 sounds "
                  "added to sets, 1 smart lists new\n");

    // What is not a sounds file, or does not fit, changes nothing.
    const std::string before = a3bank({"sounds", "export"}, "other").out;
    test::writeBytes(dir / "bad.json", std::vector<std::uint8_t>{'{', '}'});
    const test::RunResult bad = a3bank({"sounds", "import", (dir / "bad.json").string()}, "other");
    EXPECT_EQ(bad.exit.code, 1);
    EXPECT_NE(bad.err.find("not a sounds file"), std::string::npos) << bad.err;
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"tag", b + "/a.syx:1"},
                                                  {"tag", b + "/a.syx:1", "--rating", "6"},
                                                  {"tag", b + "/a.syx:101", "--fav", "yes"},
                                                  {"tag", b + "/a.syx:1", "--add", "two words"},
                                                  {"sounds", "import"},
                                                  {"sounds", "export", file.string()}}) {
        expectRun(a3bank(wrong, "other"), 2, "");
    }
    expectRun(a3bank({"tag", b + ":1", "--fav", "yes"}, "other"), 1, "");
    // A rating out of range is the option's own usage error; a file of one
    // dump is read whatever its name, as --same reads it.
    EXPECT_NE(
        a3bank({"tag", b + "/a.syx:1", "--rating", "7"}, "other").err.find("--rating must be"),
        std::string::npos);
    fs::copy_file(fs::path(A3_TEST_DATA_DIR) / "scan/format0.mid", dir / "song.bin");
    expectRun(a3bank({"tag", (dir / "song.bin").string() + ":2", "--fav", "yes"}, "third"), 0, "");
    EXPECT_EQ(a3bank({"sounds", "export"}, "other").out, before);
}

// A bank inside a MIDI file or an archive is printed by its place there, on
// one line whatever its member's name; --same takes a file of one dump, of
// any kind.
TEST(A3BankFind, NamesABankInsideAFileByItsPlace)
{
    const test::TempDir dir;
    const fs::path data = A3_TEST_DATA_DIR;
    fs::copy_file(data / "archives/three-banks.zip", dir / "Factory.zip");
    fs::copy_file(data / "archives/control-name.tgz", dir / "control-name.tgz");
    fs::copy_file(data / "scan/format0.mid", dir / "song.mid");
    const std::string d = dir.path().string();
    const std::string crunch = "\t2\tCrunch \n";
    const std::string everyCrunch =
        d + "/Factory.zip › bank 1.syx" + crunch + d + "/Factory.zip › bank 2.syx" + crunch + d +
        "/Factory.zip › bank 3.syx" + crunch + d + "/control-name.tgz › 'new'$'\\n''line.syx'" +
        crunch + d + "/song.mid" + crunch;
    const auto find = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {A3BANK_PATH, "find"});
        return test::run(arguments, std::chrono::seconds(30));
    };

    const test::RunResult byName = find({"crunch", d});
    EXPECT_EQ(byName.out, everyCrunch);
    EXPECT_EQ(byName.exit.code, 0) << byName.err;
    const test::RunResult same = find({"--same", d + "/song.mid:2", d});
    EXPECT_EQ(same.out, everyCrunch);
    const test::RunResult several = find({"--same", d + "/Factory.zip:2", d});
    EXPECT_EQ(several.exit.code, 2);
    EXPECT_EQ(several.err,
              "a3bank: " + d +
                  "/Factory.zip: holds 3 All-Data dumps; --same takes a file of one\n");
}

// A bank that cannot be read is named with the reason, and the others are
// still searched; without privileges, so that a file may be one the test
// may not read.
TEST(A3BankFind, NamesABankItCannotReadAndSearchesTheOthers)
{
    const test::TempDir dir;
    if (!test::withoutPrivileges(dir.path())) {
        return;
    }
    for (const char* name : {"a.syx", "b.syx"}) {
        test::writeBytes(dir / name, test::bankWith({{1, u"Hall"}}).syxData());
    }
    fs::permissions(dir / "a.syx", fs::perms::none);
    const test::RunResult run = test::run({A3BANK_PATH, "find", "hall", dir.path().string()});
    EXPECT_EQ(run.exit.code, 2);
    EXPECT_EQ(run.out, (dir / "b.syx").string() + "\t1\tHall   \n");
    EXPECT_EQ(run.err, "a3bank: " + (dir / "a.syx").string() + ": Permission denied\n");
}

// Another user, sudo or a sandbox: the XDG folders hold no library. A
// received banks' folder, even empty, is something to search; a folders file
// of empty lines names none.
TEST(A3BankFind, WithoutDirAndWithNothingToSearchSaysHowToGiveAFolder)
{
    const test::TempDir dir;
    const fs::path config = dir / "config", data = dir / "data";
    fs::create_directories(config);
    fs::create_directories(data);
    const std::vector<std::string> environment{"XDG_CONFIG_HOME=" + config.string(),
                                               "XDG_DATA_HOME=" + data.string()};
    const auto find = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {A3BANK_PATH, "find"});
        return test::run(arguments, std::chrono::seconds(30), environment);
    };
    const fs::path bank = dir / "bank.syx";
    test::writeBytes(bank, test::bankWith({{1, u"Hall"}}).syxData());
    const std::string noFolders =
        "a3bank: find: no library folders are set: give a DIR, or add a folder in A3 Librarian's "
        "Library window (Library > Add Folder...)\n";

    test::writeBytes(config / "A3 Librarian/library-folders",
                     std::vector<std::uint8_t>{'\n', '\n'});
    for (const auto& arguments : {std::vector<std::string>{"hall"},
                                  std::vector<std::string>{"--same", bank.string() + ":1"}}) {
        const test::RunResult run = find(arguments);
        EXPECT_EQ(run.exit.code, 2) << arguments.front();
        EXPECT_EQ(run.out, "") << arguments.front();
        EXPECT_EQ(run.err, noFolders) << arguments.front();
    }
    const test::RunResult inDir = find({"hall", dir.path().string()});
    EXPECT_EQ(inDir.exit.code, 0) << inDir.err;
    EXPECT_EQ(inDir.out, bank.string() + "\t1\tHall   \n");

    fs::create_directories(data / "A3 Librarian/Received");
    const test::RunResult received = find({"hall"});
    EXPECT_EQ(received.exit.code, 1);
    EXPECT_EQ(received.out + received.err, "");
}

// A patch that plays its bank's chain data is the same sound only over the
// same chain data.
TEST(A3BankFind, SameFindsAChainDataPatchOnlyWhereItsChainDataIs)
{
    const test::TempDir dir;
    const auto bankWithChainPatch = [](std::u16string name, std::uint8_t chainByte) {
        A3AllDataSource bank = test::bankWith({{1, name}});
        A3AllData record = bank.data();
        record.chain[0] = chainByte;
        record.patch[0][0] = 130; // C2
        bank.setData(record);
        return bank.syxData(); // with the chain ID of its chain data
    };
    test::writeBytes(dir / "x.syx", bankWithChainPatch(u"X", 1));
    test::writeBytes(dir / "y.syx", bankWithChainPatch(u"Y", 1));
    test::writeBytes(dir / "z.syx", bankWithChainPatch(u"Z", 2));
    const std::string d = dir.path().string();
    const test::RunResult same =
        test::run({A3BANK_PATH, "find", "--same", d + "/z.syx:1", d}, std::chrono::seconds(30));
    EXPECT_EQ(same.out, d + "/z.syx\t1\tZ      \n");
    const test::RunResult other =
        test::run({A3BANK_PATH, "find", "--same", d + "/x.syx:1", d}, std::chrono::seconds(30));
    EXPECT_EQ(other.out, d + "/x.syx\t1\tX      \n" + d + "/y.syx\t1\tY      \n");
}

} // namespace
} // namespace a3
