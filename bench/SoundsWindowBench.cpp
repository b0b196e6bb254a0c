// Marking 1,000 selected sounds favourite in a sounds database of 100,000,
// as the app does it: Sounds::change, written on the sounds' own thread and
// synced, until the change shows (the snapshot replaced, the undo step
// pushed), with the longest stall of the event loop meanwhile
// (stall_ms; busy_ms, the GUI thread's own CPU time in it). Against the same
// 1,000 rows written by plain sqlite3 calls in one transaction, into a copy
// of the same database with the same journal and syncing; and the event loop
// with nothing to do, for what a stall is on this machine at all.

#include "EventLoopStall.h"
#include "RatioReporter.h"
#include "SoundCollection.h"
#include "Sounds.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sqlite3.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using a3::library::Favourite;
using a3::library::Sound;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSelected = 1'000;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Databases
{
    Databases()
    {
        fs::create_directories(folder);
        a3::bench::makeFilledSoundsDatabase(filled);
        const auto& all = a3::bench::soundsWithData();
        // Spread over the database, as a search's results are.
        for (std::size_t k = 0; k < kSelected && k * (all.size() / kSelected) < all.size(); ++k) {
            selected.push_back(all[k * (all.size() / kSelected)].sound);
        }
    }
    ~Databases() { fs::remove_all(folder); }

    fs::path folder =
        fs::temp_directory_path() / ("a3-sounds-window-bench-" + std::to_string(::getpid()));
    fs::path filled = folder / "filled.sqlite3";
    std::vector<Sound> selected;
};

const Databases& databases()
{
    static const Databases instance;
    return instance;
}

// The longer stall in wall time with what was waited in it, and the longer
// busy stretch of the two.
a3::bench::Stall longerOf(const a3::bench::Stall& a, const a3::bench::Stall& b)
{
    a3::bench::Stall longer = a.wallMs >= b.wallMs ? a : b;
    longer.busyMs = std::max(a.busyMs, b.busyMs);
    return longer;
}

void setStallCounters(benchmark::State& state, const a3::bench::Stall& stall)
{
    state.counters["stall_ms"] = stall.wallMs;
    state.counters["busy_ms"] = stall.busyMs;
    state.counters["waiting_ms"] = stall.waitingMs;
}

// Baseline of the stalls: the loop with nothing else to do.
void BM_IdleLoop(benchmark::State& state)
{
    a3::bench::Stall worst;
    for (auto _ : state) {
        const auto start = Clock::now();
        const a3::bench::Stall stall =
            a3::bench::longestStall([&] { return secondsSince(start) >= 0.2; });
        worst = longerOf(worst, stall);
    }
    setStallCounters(state, worst);
}

void BM_MarkFavouriteThroughSounds(benchmark::State& state)
{
    const fs::path file = databases().folder / "app.sqlite3";
    a3::bench::copyDatabase(databases().filled, file);
    a3::bench::Stall worst;
    {
        a3::Sounds sounds(file);
        bool failed = false;
        QObject::connect(&sounds, &a3::Sounds::changeFailed, [&] { failed = true; });
        // The database read once at the start, as the app does.
        a3::bench::longestStall([&] {
            return !sounds.notice().isEmpty() ||
                   sounds.snapshot()->size() == a3::bench::soundsWithData().size();
        });
        if (!sounds.notice().isEmpty()) {
            state.SkipWithError(sounds.notice().toStdString().c_str());
            return;
        }
        a3::library::SoundChange favourite;
        favourite.favourite = Favourite::Yes;
        for (auto _ : state) {
            const int steps = sounds.undoStack().count();
            const auto start = Clock::now();
            sounds.change(databases().selected, favourite, QStringLiteral("Mark as Favourite"));
            const a3::bench::Stall stall = a3::bench::longestStall(
                [&] { return failed || sounds.undoStack().count() > steps; });
            state.SetIterationTime(secondsSince(start));
            if (failed) {
                state.SkipWithError("the change could not be kept");
                break;
            }
            worst = longerOf(worst, stall);
        }
        for (const Sound& sound : databases().selected) {
            const auto* data = sounds.dataOf(sound.key());
            if (!data || data->favourite != Favourite::Yes) {
                state.SkipWithError("a sound marked is not shown a favourite");
                break;
            }
        }
    }
    a3::bench::removeDatabase(file);
    setStallCounters(state, worst);
    state.counters["sounds"] = static_cast<double>(databases().selected.size());
}

bool execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void BM_MarkFavouriteWithSqlite(benchmark::State& state)
{
    const fs::path file = databases().folder / "plain.sqlite3";
    a3::bench::copyDatabase(databases().filled, file);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        !execute(db, "PRAGMA journal_mode=WAL") || !execute(db, "PRAGMA synchronous=FULL")) {
        state.SkipWithError("the database could not be opened");
        sqlite3_close(db);
        return;
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        const std::int64_t now = a3::library::setTimeNow();
        bool written = execute(db, "BEGIN IMMEDIATE");
        sqlite3_stmt* upsert = nullptr;
        written =
            written && sqlite3_prepare_v2(db,
                                          "INSERT INTO sounds (key, patch, chain_id, favourite,"
                                          " favourite_set) VALUES (?, ?, ?, 1, ?) ON CONFLICT (key)"
                                          " DO UPDATE SET favourite = excluded.favourite,"
                                          " favourite_set = excluded.favourite_set",
                                          -1, &upsert, nullptr) == SQLITE_OK;
        for (const Sound& sound : databases().selected) {
            if (!written) {
                break;
            }
            const a3::library::SoundKey key = sound.key();
            sqlite3_bind_blob(upsert, 1, key.data(), static_cast<int>(key.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_blob(upsert, 2, sound.patch.data(), static_cast<int>(sound.patch.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int(upsert, 3, sound.chainId);
            sqlite3_bind_int64(upsert, 4, now);
            written = sqlite3_step(upsert) == SQLITE_DONE;
            sqlite3_reset(upsert);
        }
        sqlite3_finalize(upsert);
        written = written && execute(db, "COMMIT");
        state.SetIterationTime(secondsSince(start));
        if (!written) {
            state.SkipWithError(sqlite3_errmsg(db));
            execute(db, "ROLLBACK");
            break;
        }
    }
    sqlite3_close(db);
    a3::bench::removeDatabase(file);
    state.counters["sounds"] = static_cast<double>(databases().selected.size());
}

double largest(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::ranges::max_element(values);
}

void registerAll()
{
    const auto manual = [](benchmark::internal::Benchmark* benchmark) {
        benchmark->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("max", largest);
    };
    benchmark::RegisterBenchmark("BM_IdleLoop", BM_IdleLoop)
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("max", largest);
    manual(benchmark::RegisterBenchmark("BM_MarkFavouriteThroughSounds",
                                        BM_MarkFavouriteThroughSounds));
    manual(benchmark::RegisterBenchmark("BM_MarkFavouriteWithSqlite", BM_MarkFavouriteWithSqlite));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    databases(); // made before anything is measured
    registerAll();
    a3::bench::RatioReporter reporter(a3::bench::RatioReporter::Pairs{
        {"BM_MarkFavouriteThroughSounds/manual_time", "BM_MarkFavouriteWithSqlite/manual_time"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
