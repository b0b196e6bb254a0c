// The library over banks kept in files other than bank files: 1,000 Standard
// MIDI Files of one dump each and 100 zip archives of ten dumps each (2,000
// banks in 1,100 files), each measure beside the plain work it should cost
// about as much as, in the same run and with a warm page cache:
//   first indexing  against checking the same 2,000 dumps as bank files (each
//                   read and judged, as a3bank check does) and extracting
//                   every member of the archives with libarchive
//   re-indexing     against a stat walk of the same tree
// The ratios are printed at the end (RatioReporter).
//
// The collection is made once under the temporary folder and kept for the
// next run: the MIDI files and archives, and the same dumps as bank files.

#include "A3AllDataSource.h"
#include "BankCollection.h"
#include "LibraryIndex.h"
#include "MidiFileWriter.h"
#include "RatioReporter.h"

#include <archive.h>
#include <archive_entry.h>
#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kMidiFiles = 1'000;
constexpr int kArchives = 100;
constexpr int kDumpsPerArchive = 10;
constexpr int kBanks = kMidiFiles + kArchives * kDumpsPerArchive;
constexpr int kFilesPerFolder = 100;
// Raised whenever the collection changes, so that one made before is made
// anew.
constexpr int kCollectionVersion = 1;

Bytes randomDump(std::mt19937& random)
{
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    std::uniform_int_distribution<int> value(0, 127);
    std::array<std::uint8_t, a3::kPatchSize> patch{};
    std::u16string name(a3::kPatchNameLength, u' ');
    for (std::size_t row = 0; row < a3::kPatchCount; ++row) {
        for (std::uint8_t& byte : patch) {
            byte = static_cast<std::uint8_t>(value(random));
        }
        patch[0] %= 32; // a chain of its own, none of the chain data's
        for (char16_t& letter : name) {
            letter = static_cast<char16_t>(u'A' + value(random) % 26);
        }
        bank.setPatchData(patch, static_cast<std::int64_t>(row));
        bank.setPatchName(name, static_cast<std::int64_t>(row));
    }
    return bank.syxData();
}

void writeFile(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// A zip archive of the members, deflated, as zip makes one.
void writeZip(const fs::path& path, const std::vector<std::pair<std::string, Bytes>>& members)
{
    archive* zip = archive_write_new();
    archive_write_set_format_zip(zip);
    if (archive_write_open_filename(zip, path.c_str()) != ARCHIVE_OK) {
        throw std::runtime_error("cannot write " + path.string());
    }
    for (const auto& [name, bytes] : members) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        if (archive_write_header(zip, entry) != ARCHIVE_OK ||
            archive_write_data(zip, bytes.data(), bytes.size()) !=
                static_cast<la_ssize_t>(bytes.size())) {
            throw std::runtime_error("cannot write " + path.string());
        }
        archive_entry_free(entry);
    }
    archive_write_close(zip);
    archive_write_free(zip);
}

std::string numbered(const char* name, int number)
{
    return name + std::to_string(number);
}

// Makes the collection unless a complete one is there: the mark of a
// complete one is written last.
void makeCollection(const fs::path& root)
{
    const fs::path mark = root / "complete";
    std::string marked;
    std::ifstream(mark) >> marked;
    if (marked == std::to_string(kCollectionVersion)) {
        return;
    }
    std::cerr << "Making " << kMidiFiles << " MIDI files and " << kArchives << " archives under "
              << root << " ...\n";
    fs::remove_all(root);
    std::mt19937 random(20261208);
    for (int file = 0; file < kMidiFiles; ++file) {
        const Bytes dump = randomDump(random);
        const fs::path folder = numbered("folder ", file / kFilesPerFolder);
        const std::string name = numbered("bank ", file);
        writeFile(root / "dumps/midi" / folder / (name + ".mid"),
                  a3::midiFileOfDump(std::span<const std::uint8_t, a3::kAllDataFileSize>(
                      dump.data(), dump.size())));
        writeFile(root / "bare/midi" / folder / (name + ".syx"), dump);
    }
    for (int archive = 0; archive < kArchives; ++archive) {
        std::vector<std::pair<std::string, Bytes>> members;
        for (int member = 0; member < kDumpsPerArchive; ++member) {
            const std::string name = numbered("bank ", member) + ".syx";
            members.emplace_back(name, randomDump(random));
            writeFile(root / "bare/zip" / numbered("archive ", archive) / name,
                      members.back().second);
        }
        fs::create_directories(root / "dumps/zip");
        writeZip(root / "dumps/zip" / (numbered("archive ", archive) + ".zip"), members);
    }
    std::ofstream(mark) << kCollectionVersion;
}

std::vector<std::string> filesUnder(const fs::path& folder, const char* extension)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == extension) {
            files.push_back(entry.path().native());
        }
    }
    return files;
}

struct Collection
{
    Collection()
    {
        makeCollection(root);
        bareFiles = filesUnder(root / "bare", ".syx");
        archives = filesUnder(root / "dumps/zip", ".zip");
        fs::create_directories(indexFolder);
        // Every measure is of files already in memory, the first run's too.
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                std::ifstream in(entry.path(), std::ios::binary);
                std::vector<char> bytes(entry.file_size());
                in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
        }
    }
    ~Collection() { fs::remove_all(indexFolder); }

    fs::path root = fs::temp_directory_path() / "a3-library-dumps-bench";
    fs::path dumps = root / "dumps";
    std::vector<std::string> bareFiles;
    std::vector<std::string> archives;
    fs::path indexFolder =
        fs::temp_directory_path() / ("a3-library-dumps-bench-index-" + std::to_string(::getpid()));
};

const Collection& collection()
{
    static const Collection instance;
    return instance;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void removeIndex(const fs::path& file)
{
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::remove(file.native() + suffix);
    }
}

// --- First indexing, and checking the dumps as bank files with the
// archives extracted ---

void BM_FirstIndex(benchmark::State& state)
{
    const fs::path file = collection().indexFolder / "first.sqlite";
    const fs::path folders[] = {collection().dumps};
    for (auto _ : state) {
        removeIndex(file);
        // Closing it too: the last connection's checkpoint is part of the work.
        const auto start = Clock::now();
        const auto update = a3::library::LibraryIndex(file).update(folders);
        state.SetIterationTime(secondsSince(start));
        if (update.banksRead != kBanks) {
            state.SkipWithError("the index did not read every bank");
            break;
        }
    }
    removeIndex(file);
    state.counters["banks"] = kBanks;
}

// Every member of the archive read out, as bsdtar -xOf reads them.
std::size_t extractAll(const std::string& path, Bytes& buffer)
{
    archive* input = archive_read_new();
    archive_read_support_filter_all(input);
    archive_read_support_format_all(input);
    std::size_t extracted = 0;
    if (archive_read_open_filename(input, path.c_str(), 1 << 16) == ARCHIVE_OK) {
        archive_entry* entry = nullptr;
        while (archive_read_next_header(input, &entry) == ARCHIVE_OK) {
            la_ssize_t got = 0;
            while ((got = archive_read_data(input, buffer.data(), buffer.size())) > 0) {
                extracted += static_cast<std::size_t>(got);
            }
        }
    }
    archive_read_free(input);
    return extracted;
}

void BM_CheckBareAndExtract(benchmark::State& state)
{
    Bytes bytes(a3::kAllDataFileSize + 1);
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(a3::bench::checkBankFiles(collection().bareFiles));
        std::size_t extracted = 0;
        for (const std::string& path : collection().archives) {
            extracted += extractAll(path, bytes);
        }
        benchmark::DoNotOptimize(extracted);
        state.SetIterationTime(secondsSince(start));
        if (extracted !=
            static_cast<std::size_t>(kArchives * kDumpsPerArchive) * a3::kAllDataFileSize) {
            state.SkipWithError("the archives did not give every dump");
            break;
        }
    }
    state.counters["banks"] = static_cast<double>(collection().bareFiles.size());
}

// --- Re-indexing the unchanged collection, and a stat walk of it ---

void BM_Reindex(benchmark::State& state)
{
    const fs::path file = collection().indexFolder / "full.sqlite";
    const fs::path folders[] = {collection().dumps};
    a3::library::LibraryIndex index(file);
    index.update(folders);
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto update = index.update(folders);
        state.SetIterationTime(secondsSince(start));
        if (update.filesUnchanged != kMidiFiles + kArchives) {
            state.SkipWithError("the index read a file again");
            break;
        }
    }
    state.counters["files"] = kMidiFiles + kArchives;
}

// What find DIR -printf '%s %T@' learns of each file, in this process.
void BM_StatWalk(benchmark::State& state)
{
    std::size_t files = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::int64_t seen = 0;
        files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(collection().dumps)) {
            struct stat status
            {};
            if (::stat(entry.path().c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
                seen += status.st_size + status.st_mtim.tv_nsec;
                ++files;
            }
        }
        benchmark::DoNotOptimize(seen);
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["files"] = static_cast<double>(files);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const auto manual = [](benchmark::internal::Benchmark* benchmark) {
        benchmark->UseManualTime()->Unit(benchmark::kMillisecond);
    };
    manual(benchmark::RegisterBenchmark("BM_FirstIndex", BM_FirstIndex));
    manual(benchmark::RegisterBenchmark("BM_CheckBareAndExtract", BM_CheckBareAndExtract));
    manual(benchmark::RegisterBenchmark("BM_Reindex", BM_Reindex));
    manual(benchmark::RegisterBenchmark("BM_StatWalk", BM_StatWalk));
    a3::bench::RatioReporter reporter(
        {{"BM_FirstIndex/manual_time", "BM_CheckBareAndExtract/manual_time"},
         {"BM_Reindex/manual_time", "BM_StatWalk/manual_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
