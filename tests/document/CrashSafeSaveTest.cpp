// Saving survives being killed at any moment: a process saves two banks in
// turn to one file and is killed with SIGKILL at random moments; the file is
// then always one of the two complete banks, and the next save works.

#include "ChildProcess.h"
#include "DocumentFixtures.h"

#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace a3 {
namespace {

using namespace std::chrono_literals;

constexpr int kKills = 100;

TEST(CrashSafeSave, AKilledSaveLeavesTheOldOrTheNewFileNeverAPartOfOne)
{
    test::TempDir dir;
    const std::vector<std::uint8_t> first =
        A3AllDataSource{std::filesystem::path(A3_FACTORY_BANK_PATH)}.syxData();
    const std::vector<std::uint8_t> second = test::wellFormedAllDataFile();
    ASSERT_NE(first, second);
    test::writeBytes(dir / "first.syx", first);
    test::writeBytes(dir / "second.syx", second);
    std::filesystem::create_directory(dir / "out");
    const auto target = dir / "out" / "bank.syx";
    test::writeBytes(target, first);

    std::random_device seed;
    const unsigned seedValue = seed();
    SCOPED_TRACE("seed " + std::to_string(seedValue));
    std::mt19937 random(seedValue);
    // Up to a few saves' time after the first save, so kills land in every
    // phase of a save: encoding, writing, syncing, renaming.
    std::uniform_int_distribution<int> delay(0, 10000);
    std::array<int, 2> seen{};
    test::ChildProcess saver({A3_SAVE_LOOP_PATH, target.string(), (dir / "first.syx").string(),
                              (dir / "second.syx").string()});
    ASSERT_EQ("ready", saver.readLine(30s)) << saver.err();
    for (int kill = 0; kill < kKills; ++kill) {
        ASSERT_TRUE(saver.write("save\n"));
        const std::string saving = saver.readLine(30s);
        ASSERT_EQ(0u, saving.rfind("saving ", 0)) << saving << saver.err();
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ASSERT_EQ(0, ::kill(std::stoi(saving.substr(7)), SIGKILL));
        ASSERT_EQ("ended signal 9", saver.readLine(30s)) << saver.err();

        const auto onDisk = test::readBytes(target);
        ASSERT_TRUE(onDisk == first || onDisk == second)
            << "after kill " << kill << " the file has " << onDisk.size() << " bytes";
        ++seen[onDisk == first ? 0 : 1];
    }
    EXPECT_EQ(0, saver.finish(30s).code) << saver.err();
    // Both banks were found: the kills came at different points of the loop.
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);

    // A kill between giving the finished temporary file a name and renaming
    // it over the target leaves it behind; it may stay, but must not get in
    // the way of the next save.
    int strays = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
        if (entry.path() == target) {
            continue;
        }
        ++strays;
        EXPECT_EQ(0u, entry.path().filename().string().rfind("bank.syx.", 0)) << entry.path();
    }
    RecordProperty("kills", kKills);
    RecordProperty("strays", strays);

    const bool firstOnDisk = test::readBytes(target) == first;
    A3AllDataDocument document{std::filesystem::path(A3_FACTORY_BANK_PATH)};
    const auto other = dir / (firstOnDisk ? "second.syx" : "first.syx");
    ASSERT_TRUE(document.readFromURL(QUrl::fromLocalFile(test::qPath(other)), nullptr));
    DocumentError error;
    ASSERT_TRUE(document.saveToURL(QUrl::fromLocalFile(test::qPath(target)), &error))
        << error.description.toStdString();
    EXPECT_EQ(firstOnDisk ? second : first, test::readBytes(target));
}

} // namespace
} // namespace a3
