#include "BankCollection.h"

#include "A3AllDataSource.h"
#include "AllDataFile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace a3::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kDefaultFileCount = 10'000;
constexpr int kFolderCount = 100;

// Words that patch names are made of, so that a typed text finds what it
// would in a real collection: a few percent of names for a word, fewer for a
// word and number.
constexpr std::array<const char*, 24> kWords{
    "Hall", "Room", "Plate", "Spring", "Chorus", "Flange", "Phaser", "Delay",
    "Echo", "Trem", "Pitch", "Wah",    "Comp",   "Gate",   "Rotary", "Dist",
    "Amp",  "Verb", "Dly",   "Chrs",   "Lead",   "Pad",    "Bass",   "Vox"};
// Of every hundred patches, how many take one of a few shared sounds.
constexpr int kSharedSoundPercent = 30;
constexpr int kSharedSounds = 2'000;
// One sound in very many places, as the factory's "Init" is in a real
// collection: the last patch of every other bank.
constexpr int kInitEvery = 2;
// Raised whenever the collection made changes, so that one made before is
// made anew.
constexpr int kCollectionVersion = 2;

int fileCount()
{
    const char* count = std::getenv("A3_LIBRARY_BENCH_FILES");
    return count ? std::max(1, std::atoi(count)) : kDefaultFileCount;
}

std::array<std::uint8_t, kPatchSize> randomSound(std::mt19937& random)
{
    std::array<std::uint8_t, kPatchSize> sound = kFallbackPatch;
    std::uniform_int_distribution<int> value(0, 127);
    sound[0] = static_cast<std::uint8_t>(value(random) % 32);
    for (std::size_t k = 1; k < kPatchSize; ++k) {
        if (k < kPatchNameOffset || k >= kPatchNameOffset + kPatchNameLength) {
            sound[k] = static_cast<std::uint8_t>(value(random));
        }
    }
    return sound;
}

std::u16string randomName(std::mt19937& random)
{
    std::string name = kWords[random() % kWords.size()];
    if (random() % 4 != 0) {
        name += (random() % 2 ? " " : "") + std::to_string(random() % 100);
    }
    name.resize(std::min(name.size(), kPatchNameLength));
    return {name.begin(), name.end()};
}

void writeFile(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// Makes the collection unless a complete one is there: the mark of a complete
// one is written last.
void makeCollection(const fs::path& root, int files)
{
    const fs::path mark = root / "complete";
    const std::string complete = std::to_string(kCollectionVersion) + ":" + std::to_string(files);
    std::string marked;
    std::ifstream(mark) >> marked;
    if (marked == complete) {
        return;
    }
    std::cerr << "Making " << files << " bank files under " << root << " ...\n";
    fs::remove_all(root);
    std::mt19937 random(20261207);
    std::vector<std::array<std::uint8_t, kPatchSize>> shared;
    for (int k = 0; k < kSharedSounds; ++k) {
        shared.push_back(randomSound(random));
    }
    const std::array<std::uint8_t, kPatchSize> init = randomSound(random);
    const int folders = std::min(files, kFolderCount);
    for (int folder = 0; folder < folders; ++folder) {
        fs::create_directories(root / ("folder " + std::to_string(folder)));
    }
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    std::vector<std::uint8_t> bytes(kAllDataFileSize);
    for (int file = 0; file < files; ++file) {
        for (std::int64_t row = 0; row < static_cast<std::int64_t>(kPatchCount); ++row) {
            const bool isShared = static_cast<int>(random() % 100) < kSharedSoundPercent;
            bank.setPatchData(isShared ? shared[random() % shared.size()] : randomSound(random),
                              row);
            bank.setPatchName(randomName(random), row);
        }
        if (file % kInitEvery == 0) {
            bank.setPatchData(init, kPatchCount - 1);
            bank.setPatchName(u"Init", kPatchCount - 1);
        }
        bank.writeSyxData(std::span<std::uint8_t, kAllDataFileSize>(bytes));
        writeFile(root / ("folder " + std::to_string(file % folders)) /
                      (kWords[file % kWords.size()] + std::string(" bank ") + std::to_string(file) +
                       ".syx"),
                  bytes);
    }
    std::ofstream(mark) << complete;
}

} // namespace

std::filesystem::path bankCollection()
{
    if (const char* given = std::getenv("A3_LIBRARY_BENCH_COLLECTION")) {
        return given;
    }
    const int count = fileCount();
    const fs::path root = fs::temp_directory_path() / ("a3-library-bench-" + std::to_string(count));
    makeCollection(root, count);
    return root;
}

std::size_t checkBankFiles(std::span<const std::string> paths)
{
    std::vector<std::uint8_t> bytes(kAllDataFileSize + 1);
    std::size_t defects = 0;
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = fd >= 0 ? ::read(fd, bytes.data(), bytes.size()) : -1;
        ::close(fd);
        const std::span<const std::uint8_t> content(
            bytes.data(), static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (checkAllDataFile(content).ok()) {
            defects += toleratedDefects(content).size();
        }
    }
    return defects;
}

std::int64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0;
    std::int64_t resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

} // namespace a3::bench
