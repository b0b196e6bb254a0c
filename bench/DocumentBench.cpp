// Opening a bank until its window shows its rows, and dropping 100 patches
// into a shown document (each drop an undo step), each beside the bare Qt equivalent as its
// baseline: the same file read with QFile into a new BareWindow, and new text in every row of a
// shown BareWindow. tools/dev.sh bench runs it on a real X server (xvfb-run); it runs on any Qt
// platform.

#include "A3AllDataDocument.h"
#include "AppController.h"
#include "BankView.h"
#include "BareWindow.h"
#include "DocumentController.h"
#include "DocumentWindow.h"
#include "PasteboardTypes.h"
#include "PatchTableModel.h"
#include "PropertyListText.h"
#include "TableView.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// Shows everything that is pending: layout, painting, deferred deletes.
void settle()
{
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString writeBankFile(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("bank.syx"));
    const auto bytes = a3::A3AllDataSource::fallbackBank().syxData();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        return {};
    }
    return path;
}

struct App
{
    a3::AppController appController;
    a3::DialogPrompts prompts;
    a3::DocumentController documents{appController, prompts};
};

void BM_OpenBareWindow(benchmark::State& state)
{
    const QTemporaryDir dir;
    const QString path = writeBankFile(dir);
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.readAll().size() != 29198) {
            state.SkipWithError("cannot read the bank file");
            break;
        }
        auto bare = std::make_unique<a3::bench::BareWindow>();
        bare->window.show();
        settle();
        benchmark::DoNotOptimize(bare->table->model()->rowCount());
        state.PauseTiming();
        bare.reset();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenBareWindow)->Unit(benchmark::kMillisecond);

void BM_OpenBankUntilTheTableHasRows(benchmark::State& state)
{
    const QTemporaryDir dir;
    const QString path = writeBankFile(dir);
    App app;
    for (auto _ : state) {
        a3::DocumentWindow* window = app.documents.openDocument(path);
        if (!window || window->view().table().model()->rowCount() != 100) {
            state.SkipWithError("the bank did not open with 100 rows");
            break;
        }
        settle();
        state.PauseTiming();
        window->close();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenBankUntilTheTableHasRows)->Unit(benchmark::kMillisecond);

void BM_RenameEveryRowOfABareWindow(benchmark::State& state)
{
    a3::bench::BareWindow bare;
    bare.window.show();
    settle();
    int generation = 0;
    for (auto _ : state) {
        bare.rename(++generation);
        settle();
    }
}
BENCHMARK(BM_RenameEveryRowOfABareWindow)->Unit(benchmark::kMillisecond);

void BM_Paste100Patches(benchmark::State& state)
{
    App app;
    a3::DocumentWindow* window = app.documents.newDocument();
    a3::A3AllDataDocument& document = window->document();
    QList<qint64> rows;
    for (qint64 row = 0; row < 100; ++row) {
        rows.append(row);
    }
    const auto pasteboard = document.writeRows(rows);
    settle();
    for (auto _ : state) {
        if (!document.drop(pasteboard.get(), 0)) {
            state.SkipWithError("the paste wrote nothing");
            break;
        }
        settle();
    }
    document.undoStack().setClean();
    window->close();
}
BENCHMARK(BM_Paste100Patches)->Unit(benchmark::kMillisecond);

// Moves the focus from one of ten windows to the next, as a user switching
// windows does: every window re-decides Copy and Paste. The clipboard holds
// nothing, or a text form just under the reader's 1 MiB limit.
void focusSwitch(benchmark::State& state, const QString& clipboardText)
{
    App app;
    QList<a3::DocumentWindow*> windows;
    for (int i = 0; i < 10; ++i) {
        windows.append(app.documents.newDocument());
    }
    QGuiApplication::clipboard()->setText(clipboardText);
    settle();
    int next = 0;
    for (auto _ : state) {
        a3::DocumentWindow* window = windows[next++ % windows.size()];
        QApplication::setActiveWindow(window);
        window->view().table().setFocus();
        settle();
    }
    QGuiApplication::clipboard()->clear();
    bool closed = false;
    app.documents.closeAllDocuments([&](bool) { closed = true; });
    settle();
    if (!closed) {
        state.SkipWithError("the windows did not close");
    }
}

void BM_FocusSwitchWithAnEmptyClipboard(benchmark::State& state)
{
    focusSwitch(state, {});
}
BENCHMARK(BM_FocusSwitchWithAnEmptyClipboard)->Unit(benchmark::kMillisecond);

void BM_FocusSwitchWithAMebibyteOfClipboardText(benchmark::State& state)
{
    const QString text =
        a3::propertyListText(a3::patchPasteboardType(), QByteArray(720 * 1024, '\x5A'));
    if (text.toUtf8().size() > a3::kMaxPropertyListTextSize) {
        state.SkipWithError("the text is over the reader's limit");
        return;
    }
    focusSwitch(state, text);
}
BENCHMARK(BM_FocusSwitchWithAMebibyteOfClipboardText)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
