// The library at the size of a large collection (10,000 banks, 1,000,000
// patches), each measure beside the plain work it should cost about as much
// as, in the same run and with a warm page cache:
//   first indexing        against a3bank check of every file
//   re-indexing           against find's stat walk of the tree
//   a search as one types against a case-insensitive scan of a vector of names
//   a3bank find TEXT DIR  against find ... -exec cat
//   the catalog's memory  against the patch bytes it holds
// The ratios are printed at the end (RatioReporter).
//
// The collection is made once under the temporary folder and kept for the
// next run. A3_LIBRARY_BENCH_FILES sets how many bank files it has (for a
// quick run); A3_LIBRARY_BENCH_COLLECTION names a folder of banks to use
// instead, as it is.

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "BankCollection.h"
#include "LibraryIndex.h"
#include "PatchCatalog.h"
#include "RatioReporter.h"
#include "RunProgram.h"

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using a3::library::LibraryIndex;
using a3::library::PatchCatalog;

struct Collection
{
    Collection()
    {
        root = a3::bench::bankCollection();
        const fs::path folder[] = {root};
        for (auto& found : a3::library::findBankFiles(folder).files) {
            files.push_back(found.path.native());
        }
        std::ranges::sort(files);
        fs::create_directories(indexFolder);
        warmPageCache();
    }
    ~Collection() { fs::remove_all(indexFolder); }

    // Every measure is of files already in memory, the first run's too.
    void warmPageCache() const
    {
        std::vector<char> buffer(a3::kAllDataFileSize);
        for (const std::string& path : files) {
            std::ifstream(path, std::ios::binary)
                .read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        }
    }

    fs::path root;
    std::vector<std::string> files;
    fs::path indexFolder =
        fs::temp_directory_path() / ("a3-library-bench-index-" + std::to_string(::getpid()));
};

const Collection& collection()
{
    static const Collection instance;
    return instance;
}

void removeIndex(const fs::path& file)
{
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::remove(file.native() + suffix);
    }
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void setFileCounters(benchmark::State& state)
{
    state.counters["files"] = static_cast<double>(collection().files.size());
}

// --- 1. First indexing, and a3bank check of the same files ---

void BM_FirstIndex(benchmark::State& state)
{
    const fs::path file = collection().indexFolder / "first.sqlite";
    const fs::path folders[] = {collection().root};
    for (auto _ : state) {
        removeIndex(file);
        // Closing it too: the last connection's checkpoint is part of the work.
        const auto start = Clock::now();
        const auto update = LibraryIndex(file).update(folders);
        state.SetIterationTime(secondsSince(start));
        if (update.banksRead != static_cast<int>(collection().files.size())) {
            state.SkipWithError("the index did not read every bank");
            break;
        }
    }
    removeIndex(file);
    setFileCounters(state);
}

void BM_CheckProcess(benchmark::State& state)
{
    // In runs short enough for the system's limit on arguments.
    const auto& files = collection().files;
    const std::size_t limit = static_cast<std::size_t>(::sysconf(_SC_ARG_MAX)) / 4;
    std::vector<std::vector<std::string>> runs;
    std::size_t length = limit;
    for (const std::string& path : files) {
        if (length + path.size() + 1 + sizeof(char*) > limit) {
            runs.push_back({A3BANK_PATH, "check"});
            length = 0;
        }
        runs.back().push_back(path);
        length += path.size() + 1 + sizeof(char*);
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        for (const auto& run : runs) {
            if (!a3::bench::runToEnd(run)) {
                state.SkipWithError("a3bank check failed");
                return;
            }
        }
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["processes"] = static_cast<double>(runs.size());
    setFileCounters(state);
}

// The same calls as a3bank check, without starting a process or printing.
void BM_CheckInProcess(benchmark::State& state)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(a3::bench::checkBankFiles(collection().files));
        state.SetIterationTime(secondsSince(start));
    }
    setFileCounters(state);
}

// --- 2. Re-indexing an unchanged collection, and find's stat walk ---

// An index of the whole collection, made once.
const fs::path& fullIndex()
{
    static const fs::path file = [] {
        const fs::path path = collection().indexFolder / "full.sqlite";
        LibraryIndex index(path);
        const fs::path folders[] = {collection().root};
        index.update(folders);
        return path;
    }();
    return file;
}

void BM_Reindex(benchmark::State& state)
{
    LibraryIndex index(fullIndex());
    const fs::path folders[] = {collection().root};
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto update = index.update(folders);
        state.SetIterationTime(secondsSince(start));
        if (update.filesUnchanged != static_cast<int>(collection().files.size())) {
            state.SkipWithError("the index read a file again");
            break;
        }
    }
    setFileCounters(state);
}

// What opening the index costs once a session, for information.
void BM_OpenIndex(benchmark::State& state)
{
    const fs::path& file = fullIndex();
    for (auto _ : state) {
        const auto start = Clock::now();
        LibraryIndex index(file);
        state.SetIterationTime(secondsSince(start));
    }
}

void BM_FindStatWalk(benchmark::State& state)
{
    const std::vector<std::string> arguments{
        "find", collection().root.native(), "-name", "*.syx", "-printf", "%s %T@\n"};
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!a3::bench::runToEnd(arguments)) {
            state.SkipWithError("find failed");
            break;
        }
        state.SetIterationTime(secondsSince(start));
    }
    setFileCounters(state);
}

// --- 3. Searching as one types, and a plain scan of the names ---

const PatchCatalog& fullCatalog()
{
    static const PatchCatalog catalog = LibraryIndex(fullIndex()).catalog();
    return catalog;
}

const std::vector<std::string>& plainNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        const PatchCatalog& catalog = fullCatalog();
        all.reserve(catalog.patchCount());
        for (PatchCatalog::PatchId patch = 0; patch < catalog.patchCount(); ++patch) {
            all.push_back(catalog.name(patch));
        }
        return all;
    }();
    return names;
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void BM_Search(benchmark::State& state, std::string text, bool onePerSound)
{
    const PatchCatalog& catalog = fullCatalog();
    std::size_t found = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        found = catalog.search(text, onePerSound).size();
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["patches"] = static_cast<double>(catalog.patchCount());
}

void BM_PlainScan(benchmark::State& state, std::string text)
{
    const std::vector<std::string>& names = plainNames();
    std::ranges::transform(text, text.begin(), lowerAscii);
    std::vector<std::uint32_t> found;
    for (auto _ : state) {
        const auto start = Clock::now();
        found.clear();
        for (std::uint32_t k = 0; k < names.size(); ++k) {
            const std::string& name = names[k];
            const auto at = std::search(name.begin(), name.end(), text.begin(), text.end(),
                                        [](char a, char b) { return lowerAscii(a) == b; });
            if (at != name.end() || text.empty()) {
                found.push_back(k);
            }
        }
        benchmark::DoNotOptimize(found.data());
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["found"] = static_cast<double>(found.size());
    state.counters["patches"] = static_cast<double>(names.size());
}

// --- 5. The catalog: how long it takes to build, and its memory ---

void BM_CatalogBuild(benchmark::State& state)
{
    LibraryIndex index(fullIndex());
    std::int64_t grown = 0;
    std::int64_t trimmed = 0;
    std::size_t patches = 0;
    for (auto _ : state) {
        ::malloc_trim(0);
        const std::int64_t before = a3::bench::residentBytes();
        const auto start = Clock::now();
        const PatchCatalog catalog = index.catalog();
        state.SetIterationTime(secondsSince(start));
        grown = a3::bench::residentBytes() - before;
        // What of that is the allocator's free memory rather than the catalog.
        ::malloc_trim(0);
        trimmed = a3::bench::residentBytes() - before;
        patches = catalog.patchCount();
    }
    const double patchBytes = static_cast<double>(patches * a3::kPatchSize);
    state.counters["catalog_MB"] = static_cast<double>(grown) / 1e6;
    state.counters["trimmed_MB"] = static_cast<double>(trimmed) / 1e6;
    state.counters["patch_data_MB"] = patchBytes / 1e6;
    state.counters["memory_ratio"] = patchBytes > 0 ? static_cast<double>(grown) / patchBytes : 0;
}

// --- 4. a3bank find TEXT DIR, and find -exec cat over the same files ---

void BM_FindProcess(benchmark::State& state, std::vector<std::string> arguments)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!a3::bench::runToEnd(arguments)) {
            state.SkipWithError((arguments.front() + " failed").c_str());
            break;
        }
        state.SetIterationTime(secondsSince(start));
    }
    setFileCounters(state);
}

// The texts of a search as one types "hall 1", and one that finds nothing.
std::vector<const char*> searchTexts()
{
    return {"h", "hal", "hall 1", "xyz"};
}

a3::bench::RatioReporter::Pairs measuresAndBaselines()
{
    a3::bench::RatioReporter::Pairs all{
        {"BM_FirstIndex/manual_time", "BM_CheckProcess/manual_time"},
        {"BM_FirstIndex/manual_time", "BM_CheckInProcess/manual_time"},
        {"BM_Reindex/manual_time", "BM_FindStatWalk/manual_time"}};
    for (const char* text : searchTexts()) {
        all.emplace_back("BM_Search/" + std::string(text) + "/manual_time",
                         "BM_PlainScan/" + std::string(text) + "/manual_time");
        all.emplace_back("BM_Search/" + std::string(text) + "/one_per_sound/manual_time",
                         "BM_PlainScan/" + std::string(text) + "/manual_time");
    }
    all.emplace_back("BM_A3bankFind/hal/manual_time", "BM_FindCat/manual_time");
    return all;
}

void registerAll()
{
    const auto manual = [](benchmark::internal::Benchmark* benchmark) {
        benchmark->UseManualTime()->Unit(benchmark::kMillisecond);
    };
    manual(benchmark::RegisterBenchmark("BM_FirstIndex", BM_FirstIndex));
    manual(benchmark::RegisterBenchmark("BM_CheckProcess", BM_CheckProcess));
    manual(benchmark::RegisterBenchmark("BM_CheckInProcess", BM_CheckInProcess));
    manual(benchmark::RegisterBenchmark("BM_Reindex", BM_Reindex));
    manual(benchmark::RegisterBenchmark("BM_FindStatWalk", BM_FindStatWalk));
    manual(benchmark::RegisterBenchmark("BM_OpenIndex", BM_OpenIndex));
    manual(benchmark::RegisterBenchmark("BM_CatalogBuild", BM_CatalogBuild));
    for (const char* text : searchTexts()) {
        const std::string name(text);
        manual(benchmark::RegisterBenchmark(("BM_Search/" + name).c_str(), BM_Search, name, false));
        manual(benchmark::RegisterBenchmark(("BM_Search/" + name + "/one_per_sound").c_str(),
                                            BM_Search, name, true));
        manual(benchmark::RegisterBenchmark(("BM_PlainScan/" + name).c_str(), BM_PlainScan, name));
    }
    const std::string root = collection().root.native();
    manual(
        benchmark::RegisterBenchmark("BM_A3bankFind/hal", BM_FindProcess,
                                     std::vector<std::string>{A3BANK_PATH, "find", "hal", root}));
    manual(benchmark::RegisterBenchmark(
        "BM_FindCat", BM_FindProcess,
        std::vector<std::string>{"find", root, "-name", "*.syx", "-exec", "cat", "{}", "+"}));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    registerAll();
    a3::bench::RatioReporter reporter(measuresAndBaselines());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
