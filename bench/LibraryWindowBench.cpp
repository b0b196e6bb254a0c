// The Library window on the large collection (1,000,000 patches), as a user
// sees it: the longest the event loop stalls while the index is built and
// loaded, while a search is typed, and while the selection moves over the
// patches of the sound kept in 5,000 places, against the same loop with
// nothing to do; and the app's resident memory with the window open on every
// patch, against the patch data itself (64 MB).

#include "AppController.h"
#include "BankCollection.h"
#include "DocumentController.h"
#include "EventLoopStall.h"
#include "Library.h"
#include "LibraryModel.h"
#include "LibraryWindow.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <string>

namespace {

namespace fs = std::filesystem;

using a3::bench::longestStall;
using a3::bench::Stall;

void setStallCounters(benchmark::State& state, const std::string& during, const Stall& stall)
{
    state.counters["stall_" + during + "_ms"] = stall.wallMs;
    state.counters["busy_" + during + "_ms"] = stall.busyMs;
    state.counters["waiting_" + during + "_ms"] = stall.waitingMs;
}

// A library of its own: the collection as its one folder, and no index yet.
struct FreshLibrary
{
    FreshLibrary()
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            qputenv(variable,
                    (home.path() + QLatin1Char('/') + QLatin1String(variable)).toLocal8Bit());
        }
        library = std::make_unique<a3::Library>(a3::library::LibraryPlaces::forCurrentUser());
        const fs::path folders[] = {a3::bench::bankCollection()};
        if (const a3::WriteResult set =
                a3::library::LibraryPlaces::forCurrentUser().setLibraryFolders(folders);
            !set.ok()) {
            qFatal("The library folders could not be set: %s", set.failure().reason.c_str());
        }
    }

    QTemporaryDir home;
    std::unique_ptr<a3::Library> library;
};

// Baseline: the loop with nothing else to do, for as long as a typed search.
void BM_IdleLoop(benchmark::State& state)
{
    for (auto _ : state) {
        QElapsedTimer elapsed;
        elapsed.start();
        setStallCounters(state, "idle", longestStall([&] { return elapsed.elapsed() >= 500; }));
    }
}

// From the window opened on a library never indexed until every patch is
// listed, a letter typed into the search every 50 ms meanwhile; then the
// same typing over the whole catalog; then the selection moved down the
// patches named "Init", one of the 5,000 places of its sound, every 20 ms.
void BM_LibraryWindowIndexingAndSearching(benchmark::State& state)
{
    const std::int64_t residentBefore = a3::bench::residentBytes();
    a3::AppController appController({}, [](const QUrl&) { return false; });
    a3::DialogPrompts prompts;
    a3::DocumentController controller(appController, prompts);
    for (auto _ : state) {
        FreshLibrary fresh;
        a3::LibraryWindow window(*fresh.library, controller.services(), controller, prompts);
        window.show();
        const QStringList typed{"h", "ha", "hal", "hall", "hal", "ha", "h", ""};
        int next = 0;
        QTimer typing;
        QObject::connect(&typing, &QTimer::timeout,
                         [&] { window.searchField().setText(typed[next++ % typed.size()]); });
        typing.start(50);
        fresh.library->refresh();
        QElapsedTimer elapsed;
        elapsed.start();
        setStallCounters(state, "indexing", longestStall([&] {
                             return !fresh.library->isRefreshing() && window.model().catalog() &&
                                    window.model().catalog()->patchCount() > 0;
                         }));
        state.counters["indexing_s"] = static_cast<double>(elapsed.elapsed()) / 1e3;
        next = 0;
        setStallCounters(state, "searching",
                         longestStall([&] { return next >= 2 * typed.size(); }));
        typing.stop();
        state.counters["patches"] = static_cast<double>(window.model().catalog()->patchCount());

        window.searchField().setText(QStringLiteral("Init"));
        longestStall([&] { return !window.model().isSearching(); });
        const int rows = std::min(window.model().rowCount(), 100);
        int row = 0;
        QTimer selecting;
        QObject::connect(&selecting, &QTimer::timeout, [&] { window.table().selectRow(row++); });
        selecting.start(20);
        setStallCounters(state, "selecting", longestStall([&] { return row >= rows; }));
        state.counters["places_of_selected_sound"] =
            window.model().rowCount() > 0
                ? window.model().catalog()->otherPlaces(window.model().patchAt(0)) + 1.0
                : 0.0;
        window.searchField().clear();
        state.counters["resident_MB"] = static_cast<double>(a3::bench::residentBytes()) / 1e6;
        state.counters["resident_growth_MB"] =
            static_cast<double>(a3::bench::residentBytes() - residentBefore) / 1e6;
        state.counters["patch_data_MB"] =
            static_cast<double>(window.model().catalog()->patchCount()) * a3::kPatchSize / 1e6;
    }
}

} // namespace

BENCHMARK(BM_IdleLoop)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryWindowIndexingAndSearching)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    a3::bench::bankCollection(); // made before anything is measured
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
