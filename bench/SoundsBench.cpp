// What the user said of their sounds, at the size of a large collection
// (1,000,000 patches, 100,000 sounds with data), each measure beside the
// plain work it should cost about as much as, in the same run:
//   a search with filters on the sounds   against the plain name search of
//                                         the same catalog for its word
//   exporting the sounds file (36 MB)     against python3's json.load of the
//   importing it into an empty database   same file, its start-up taken away
// and, for what the import's database work could cost at least, the same
// rows inserted by plain sqlite3 calls in one transaction. The ratios are
// printed at the end (RatioReporter).
//
// The bank collection and its index are made once under the temporary
// folder and kept (see BankCollection.h); the sounds database and file are
// made anew by each run.

#include "RatioReporter.h"
#include "RunProgram.h"
#include "SoundCollection.h"
#include "SoundQuery.h"
#include "SoundsDatabase.h"
#include "SoundsFile.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <sqlite3.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using a3::library::SoundQuery;
using a3::library::SoundsDatabase;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double msBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

constexpr const char* kWord = "hall";
constexpr const char* kFilteredQuery = "hall fav tag:ambient rating>=3";

struct Files
{
    Files()
    {
        fs::create_directories(folder);
        a3::bench::makeFilledSoundsDatabase(database);
        auto opened = SoundsDatabase::open(database);
        if (!opened.ok()) {
            throw std::runtime_error(opened.failure().reason);
        }
        const auto all = (*opened)->content();
        if (!all.ok()) {
            throw std::runtime_error(all.failure().reason);
        }
        std::ofstream(soundsFile, std::ios::binary) << a3::library::soundsFileText(*all);
    }
    ~Files() { fs::remove_all(folder); }

    fs::path folder = fs::temp_directory_path() / ("a3-sounds-bench-" + std::to_string(::getpid()));
    fs::path database = folder / "sounds.sqlite3";
    fs::path soundsFile = folder / "sounds.json";
};

const Files& files()
{
    static const Files instance;
    return instance;
}

// --- A search with filters, and the plain name search ---

void BM_NameSearch(benchmark::State& state)
{
    const auto& catalog = a3::bench::collectionCatalog();
    std::size_t found = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        found = catalog.search(kWord, false).size();
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["patches"] = static_cast<double>(catalog.patchCount());
}

// The sounds as the app reads them at its start.
a3::Result<a3::library::SoundsSnapshot> snapshotOfFilledDatabase()
{
    auto opened = SoundsDatabase::open(files().database);
    return opened.ok() ? (*opened)->snapshot() : opened.failure();
}

void BM_FilteredSearch(benchmark::State& state, std::string text)
{
    const auto& catalog = a3::bench::collectionCatalog();
    const auto read = snapshotOfFilledDatabase();
    if (!read.ok()) {
        state.SkipWithError(read.failure().reason.c_str());
        return;
    }
    const a3::library::SoundsSnapshot& snapshot = *read;
    // Made once for the searches of a snapshot, as the app does (measured
    // by BM_SoundDataOfCatalog).
    const auto said = catalog.saidOf(snapshot);
    std::size_t found = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto query = SoundQuery::parse(text);
        found = query.ok() ? catalog.search(*query, said, false).size() : 0;
        state.SetIterationTime(secondsSince(start));
    }
    // How many of the patches the word finds have a sound with data.
    std::size_t withData = 0;
    for (const auto patch : catalog.search(kWord, false)) {
        withData += snapshot.contains(catalog.soundKey(patch)) ? 1 : 0;
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["word_found_with_data"] = static_cast<double>(withData);
    state.counters["sounds_with_data"] = static_cast<double>(snapshot.size());
}

// What the snapshot says of each of the catalog's sounds, made once after
// each change of the sounds, before the first search that asks of them.
void BM_SoundDataOfCatalog(benchmark::State& state)
{
    const auto& catalog = a3::bench::collectionCatalog();
    const auto read = snapshotOfFilledDatabase();
    if (!read.ok()) {
        state.SkipWithError(read.failure().reason.c_str());
        return;
    }
    std::size_t found = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto said = catalog.saidOf(*read);
        state.SetIterationTime(secondsSince(start));
        found = static_cast<std::size_t>(std::ranges::count(said.anything, true));
    }
    state.counters["sounds_found"] = static_cast<double>(found);
    state.counters["catalog_sounds"] = static_cast<double>(catalog.soundCount());
}

// --- Exporting and importing the sounds file, and python3's json.load ---

void setFileCounters(benchmark::State& state)
{
    state.counters["sounds"] = static_cast<double>(a3::bench::soundsWithData().size());
    state.counters["file_MB"] = static_cast<double>(fs::file_size(files().soundsFile)) / 1e6;
}

void BM_ExportSounds(benchmark::State& state)
{
    const fs::path out = files().folder / "exported.json";
    auto opened = SoundsDatabase::open(files().database);
    if (!opened.ok()) {
        state.SkipWithError(opened.failure().reason.c_str());
        return;
    }
    SoundsDatabase& database = **opened;
    double readMs = 0, textMs = 0, writeMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto all = database.content();
        const auto read = Clock::now();
        const std::string text = all.ok() ? a3::library::soundsFileText(*all) : std::string();
        const auto made = Clock::now();
        std::ofstream(out, std::ios::binary | std::ios::trunc) << text;
        const auto end = Clock::now();
        state.SetIterationTime(secondsSince(start));
        if (!all.ok() || all->sounds.size() != a3::bench::soundsWithData().size()) {
            state.SkipWithError("the export did not hold every sound");
            break;
        }
        readMs += msBetween(start, read);
        textMs += msBetween(read, made);
        writeMs += msBetween(made, end);
    }
    // Where the time goes, on average.
    const double runs =
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["all_ms"] = readMs / runs;
    state.counters["text_ms"] = textMs / runs;
    state.counters["write_ms"] = writeMs / runs;
    setFileCounters(state);
}

void BM_ImportSounds(benchmark::State& state)
{
    const fs::path into = files().folder / "imported.sqlite3";
    double readMs = 0, parseMs = 0, mergeMs = 0;
    for (auto _ : state) {
        // An empty database, made outside the measure.
        a3::bench::removeDatabase(into);
        auto opened = SoundsDatabase::open(into);
        if (!opened.ok()) {
            state.SkipWithError(opened.failure().reason.c_str());
            break;
        }
        const auto start = Clock::now();
        std::ifstream in(files().soundsFile, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        const auto read = Clock::now();
        const auto sounds = a3::library::soundsFromFileText(text);
        const auto parsed = Clock::now();
        const auto merged = sounds.ok() ? (*opened)->merge(*sounds)
                                        : a3::Result<a3::library::MergeSummary>(sounds.failure());
        const auto end = Clock::now();
        state.SetIterationTime(secondsSince(start));
        if (!merged.ok() || merged->soundsNew != a3::bench::soundsWithData().size()) {
            state.SkipWithError("the import did not take every sound");
            break;
        }
        readMs += msBetween(start, read);
        parseMs += msBetween(read, parsed);
        mergeMs += msBetween(parsed, end);
    }
    a3::bench::removeDatabase(into);
    const double runs =
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["read_ms"] = readMs / runs;
    state.counters["parse_ms"] = parseMs / runs;
    state.counters["merge_ms"] = mergeMs / runs;
    setFileCounters(state);
}

// The rows an import into an empty database ends with, inserted by plain
// sqlite3 calls with each statement made once, in one transaction, with the
// same journal and syncing: what the import's database work costs at least.
void BM_InsertSameRowsWithSqlite(benchmark::State& state)
{
    const fs::path into = files().folder / "plain.sqlite3";
    // In the order of the file, by key, as the import takes them.
    std::vector<a3::library::StoredSound> sounds = a3::bench::soundsWithData();
    std::ranges::sort(sounds, {}, [](const auto& stored) { return stored.sound.key(); });
    const auto execute = [](sqlite3* db, const char* sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    for (auto _ : state) {
        // An empty database of the same schema, made outside the measure.
        a3::bench::removeDatabase(into);
        if (!SoundsDatabase::open(into).ok()) {
            state.SkipWithError("the database could not be made");
            break;
        }
        sqlite3* db = nullptr;
        sqlite3_stmt* sound = nullptr;
        sqlite3_stmt* tag = nullptr;
        const auto start = Clock::now();
        bool written =
            sqlite3_open_v2(into.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            execute(db, "PRAGMA journal_mode=WAL") && execute(db, "PRAGMA synchronous=FULL") &&
            execute(db, "BEGIN IMMEDIATE") &&
            sqlite3_prepare_v2(db,
                               "INSERT INTO sounds (key, patch, chain_id, favourite,"
                               " favourite_set, rating, rating_set, note, note_set, tags)"
                               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                               -1, &sound, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO tag_spellings (tag) VALUES (?)", -1, &tag,
                               nullptr) == SQLITE_OK;
        std::set<std::string> spelled;
        for (std::size_t k = 0; written && k < sounds.size(); ++k) {
            const auto& stored = sounds[k];
            const a3::library::SoundKey key = stored.sound.key();
            const auto& data = stored.data;
            std::string tags;
            for (const std::string& name : data.tags) {
                tags += tags.empty() ? name : " " + name;
                if (spelled.insert(name).second) {
                    sqlite3_bind_text(tag, 1, name.data(), static_cast<int>(name.size()),
                                      SQLITE_STATIC);
                    written = written && sqlite3_step(tag) == SQLITE_DONE;
                    sqlite3_reset(tag);
                }
            }
            sqlite3_bind_blob(sound, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
            sqlite3_bind_blob(sound, 2, stored.sound.patch.data(),
                              static_cast<int>(stored.sound.patch.size()), SQLITE_STATIC);
            sqlite3_bind_int(sound, 3, stored.sound.chainId);
            sqlite3_bind_int(sound, 4, static_cast<int>(data.favourite));
            sqlite3_bind_int64(sound, 5, data.favouriteSet);
            sqlite3_bind_int(sound, 6, data.rating);
            sqlite3_bind_int64(sound, 7, data.ratingSet);
            sqlite3_bind_text(sound, 8, data.note.data(), static_cast<int>(data.note.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int64(sound, 9, data.noteSet);
            sqlite3_bind_text(sound, 10, tags.data(), static_cast<int>(tags.size()), SQLITE_STATIC);
            written = written && sqlite3_step(sound) == SQLITE_DONE;
            sqlite3_reset(sound);
        }
        sqlite3_finalize(sound);
        sqlite3_finalize(tag);
        written = written && execute(db, "COMMIT");
        sqlite3_close(db);
        state.SetIterationTime(secondsSince(start));
        if (!written) {
            state.SkipWithError("the rows could not be written");
            break;
        }
    }
    a3::bench::removeDatabase(into);
    setFileCounters(state);
}

std::vector<std::string> pythonLoad()
{
    return {"python3", "-c", "import json; json.load(open('" + files().soundsFile.native() + "'))"};
}

std::vector<std::string> pythonStartup()
{
    return {"python3", "-c", "pass"};
}

void BM_PythonProcess(benchmark::State& state, std::vector<std::string> arguments)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!a3::bench::runToEnd(arguments)) {
            state.SkipWithError("python3 failed");
            break;
        }
        state.SetIterationTime(secondsSince(start));
    }
    setFileCounters(state);
}

// The load alone: each time, the whole process less one start-up of python3
// that does nothing, measured right before it.
void BM_PythonJsonLoadLessStartup(benchmark::State& state)
{
    double startupMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool started = a3::bench::runToEnd(pythonStartup());
        const auto between = Clock::now();
        const bool loaded = a3::bench::runToEnd(pythonLoad());
        const auto end = Clock::now();
        if (!started || !loaded) {
            state.SkipWithError("python3 failed");
            break;
        }
        const double startup = msBetween(start, between);
        state.SetIterationTime(std::max(0.0, msBetween(between, end) - startup) / 1e3);
        startupMs += startup;
    }
    state.counters["startup_ms"] =
        startupMs / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    setFileCounters(state);
}

// The search with filters, and the same search by its words alone, by parts
// of it and by its filters on the sounds alone, for where its time goes.
std::vector<std::string> filteredQueries()
{
    return {kFilteredQuery, kWord, std::string(kWord) + " fav",
            std::string(kWord) + " tag:ambient"};
}

a3::bench::RatioReporter::Pairs measuresAndBaselines()
{
    a3::bench::RatioReporter::Pairs all;
    for (const std::string& query : filteredQueries()) {
        all.emplace_back("BM_FilteredSearch/" + query + "/manual_time",
                         "BM_NameSearch/manual_time");
    }
    all.emplace_back("BM_SoundDataOfCatalog/manual_time", "BM_NameSearch/manual_time");
    const char* load = "BM_PythonJsonLoadLessStartup/manual_time";
    all.insert(all.end(), {{"BM_ExportSounds/manual_time", load},
                           {"BM_ImportSounds/manual_time", load},
                           {"BM_InsertSameRowsWithSqlite/manual_time", load},
                           {"BM_ExportSounds/manual_time", "BM_PythonJsonLoad/manual_time"},
                           {"BM_ImportSounds/manual_time", "BM_PythonJsonLoad/manual_time"}});
    return all;
}

void registerAll()
{
    const auto manual = [](benchmark::internal::Benchmark* benchmark) {
        benchmark->UseManualTime()->Unit(benchmark::kMillisecond);
    };
    manual(benchmark::RegisterBenchmark("BM_NameSearch", BM_NameSearch));
    for (const std::string& query : filteredQueries()) {
        manual(benchmark::RegisterBenchmark(("BM_FilteredSearch/" + query).c_str(),
                                            BM_FilteredSearch, query));
    }
    manual(benchmark::RegisterBenchmark("BM_SoundDataOfCatalog", BM_SoundDataOfCatalog));
    manual(benchmark::RegisterBenchmark("BM_ExportSounds", BM_ExportSounds));
    manual(benchmark::RegisterBenchmark("BM_ImportSounds", BM_ImportSounds));
    manual(
        benchmark::RegisterBenchmark("BM_InsertSameRowsWithSqlite", BM_InsertSameRowsWithSqlite));
    manual(benchmark::RegisterBenchmark("BM_PythonJsonLoad", BM_PythonProcess, pythonLoad()));
    manual(benchmark::RegisterBenchmark("BM_PythonStartup", BM_PythonProcess, pythonStartup()));
    manual(
        benchmark::RegisterBenchmark("BM_PythonJsonLoadLessStartup", BM_PythonJsonLoadLessStartup));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // Made before anything is measured.
    files();
    registerAll();
    a3::bench::RatioReporter reporter(measuresAndBaselines());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
