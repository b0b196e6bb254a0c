// Opening files that hold banks without being bank files: MIDI files and
// archives. Their banks open as untitled banks named after where they were
// found, never saved over their source; a file of several asks which to
// open; a file of none says what it holds.

#include "AllDataFile.h"
#include "AppTestSupport.h"
#include "BankView.h"
#include "DocumentFixtures.h"
#include "FakePrompts.h"
#include "TableView.h"
#include "UserPrompts.h"

#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::outcomeOf;
using test::qPath;

const std::filesystem::path kData = A3_TEST_DATA_DIR;

std::vector<std::uint8_t> factoryBytes()
{
    return test::readBytes(kData / "factory-bank.syx");
}

// The bank every test file holds.
A3AllDataSource factoryBank()
{
    return A3AllDataSource::fromSyxData(factoryBytes()).value();
}

// How far into a dump patch number's bytes end: after the header and the
// chain data in nibbles, two nibbles a byte.
constexpr std::size_t patchEnd(std::size_t number)
{
    return kHeaderSize + 2 * (offsetof(A3AllData, patch) - kHeaderSize) + 2 * kPatchSize * number;
}

// A dump of a bank of its own that stops within patch 4, written to path;
// the bank as it was sent.
A3AllDataSource writeCutDump(const std::filesystem::path& path)
{
    A3AllDataSource sent = test::bankWith({{1, u"Kept 1"}, {3, u"Kept 3"}, {4, u"Cut 4"}});
    std::vector<std::uint8_t> dump = A3AllDataSource(sent).syxData();
    dump.resize(patchEnd(3) + 50);
    test::writeBytes(path, dump);
    return sent;
}

// Patches 1 to 3 as sent, the factory bank's from 4 on.
void expectFirstThreeRecovered(const A3AllDataSource& sent, const A3AllDataDocument& document)
{
    const A3AllDataSource factory = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    for (std::int64_t row = 0; row < 100; ++row) {
        EXPECT_EQ((row < 3 ? sent : factory).patchDataAt(row), document.bank().patchDataAt(row))
            << "patch " << row + 1;
    }
}

QStringList firstNames(const A3AllDataSource& bank)
{
    return {QString::fromStdString(bank.patchNameAt(0)),
            QString::fromStdString(bank.patchNameAt(1)),
            QString::fromStdString(bank.patchNameAt(2))};
}

class OpenDocuments : public test::WithWindows<test::FakePrompts>
{
protected:
    // The data file, copied where the test may write beside it.
    std::filesystem::path copied(const std::filesystem::path& file, const std::string& name)
    {
        std::filesystem::copy_file(kData / file, dir / name);
        return dir / name;
    }

    // Waits for the windows that opening starts, answered from the event loop.
    bool waitForWindows(qsizetype count)
    {
        return QTest::qWaitFor([&] { return controller.windows().size() == count; }) &&
               !QTest::qWaitFor([&] { return controller.windows().size() > count; }, 50);
    }

    std::optional<bool> save(DocumentWindow* window)
    {
        return outcomeOf([&](auto done) { window->files().save(done); });
    }
};

// The bank a MIDI file holds is a new bank: edited until saved, with no file
// of its own, and saved as a bank file beside its source, never over it.
TEST_F(OpenDocuments, AMidiFilesBankOpensUntitledAndIsSavedBesideIt)
{
    const auto song = copied("scan/format0.mid", "song.mid");
    const auto source = test::readBytes(song);
    controller.openDocuments({qPath(song)});
    ASSERT_TRUE(waitForWindows(1));
    DocumentWindow* window = controller.windows().front();
    A3AllDataDocument& document = window->document();
    EXPECT_EQ(QStringLiteral("song.mid — imported[*]"), window->windowTitle());
    EXPECT_TRUE(window->isWindowModified());
    // Opened again while unsaved, it is the same bank's window.
    controller.openDocuments({qPath(song)});
    EXPECT_TRUE(waitForWindows(1));
    EXPECT_TRUE(document.isModified());
    EXPECT_EQ(QString(), document.filePath());
    EXPECT_FALSE(document.fileChangedOnDisk());
    EXPECT_EQ(nullptr, controller.windowForFile(qPath(song)));
    EXPECT_EQ(firstNames(factoryBank()), firstNames(document.bank()));
    EXPECT_TRUE(prompts.errors.isEmpty());

    // Save is Save As, offering the source's name as a bank file.
    EXPECT_EQ(false, save(window)); // cancelled
    EXPECT_EQ(QStringList{qPath(dir / "song.syx")}, prompts.suggestedSavePaths);
    prompts.saveLocation = prompts.suggestedSavePaths.front();
    EXPECT_EQ(true, save(window));
    EXPECT_EQ(source, test::readBytes(song));
    EXPECT_EQ(factoryBytes(), test::readBytes(dir / "song.syx"));
    EXPECT_EQ(qPath(dir / "song.syx"), document.filePath());
    EXPECT_EQ(QStringLiteral("song.syx[*]"), window->windowTitle());
    EXPECT_FALSE(document.isModified());

    // Opened again, the MIDI file gives another new bank; the bank file
    // saved from it is that window's.
    controller.openDocuments({qPath(song), qPath(dir / "song.syx")});
    ASSERT_TRUE(waitForWindows(2));
    EXPECT_EQ(window, controller.windowForFile(qPath(dir / "song.syx")));
    EXPECT_EQ(source, test::readBytes(song));
    // The imported banks took no number from the untitled ones.
    EXPECT_EQ(QStringLiteral("Untitled"), controller.newDocument()->document().displayName());
}

// Through a window's File > Open, and for a bank compressed on its own or
// inside an archive: named after the member, saved beside the archive.
TEST_F(OpenDocuments, ABankInAnArchiveIsNamedAfterItsMember)
{
    const auto gz = copied("archives/bank.syx.gz", "bank.syx.gz");
    std::filesystem::create_directory(dir / "zips");
    std::filesystem::copy_file(kData / "archives/three-banks.zip", dir / "zips/Factory.zip");
    // Compressed from standard input, gzip keeps no name: the file's is taken.
    const std::string nameless = "gzip -c < '" + (kData / "factory-bank.syx").string() + "' > '" +
                                 (dir / "backup.syx.gz").string() + "'";
    ASSERT_EQ(0, std::system(nameless.c_str()));
    DocumentWindow* first = controller.newDocument();
    prompts.banksToOpen = {1};
    first->files().openFiles(
        {qPath(gz), qPath(dir / "zips/Factory.zip"), qPath(dir / "backup.syx.gz")});
    ASSERT_TRUE(waitForWindows(4));
    QStringList names;
    QStringList suggested;
    for (DocumentWindow* window : controller.windows().mid(1)) {
        names.append(window->document().displayName());
        suggested.append(window->document().suggestedPath());
        EXPECT_EQ(QString(), window->document().filePath());
    }
    names.sort();
    suggested.sort();
    ASSERT_EQ(3, names.size());
    EXPECT_TRUE(names[0].startsWith(QStringLiteral("Factory.zip › bank 2.syx — imported")));
    EXPECT_TRUE(names[1].startsWith(QStringLiteral("backup.syx.gz")));
    EXPECT_TRUE(names[2].startsWith(QStringLiteral("bank.syx.gz")));
    EXPECT_TRUE(names[2].endsWith(QStringLiteral(" — imported")));
    EXPECT_EQ((QStringList{qPath(dir / "backup.syx"), qPath(dir / "bank.syx"),
                           qPath(dir / "zips/bank 2.syx")}),
              suggested);
    EXPECT_FALSE(first->questions().any());
}

// The list offers each bank with its place, chain ID and first patches; the
// banks the user picks open, each in its own window, and nothing for Cancel.
TEST_F(OpenDocuments, AFileOfSeveralBanksOpensThoseChosen)
{
    const auto zip = copied("archives/three-banks.zip", "three-banks.zip");
    const A3AllDataSource factory = factoryBank();
    const QString chainId = QStringLiteral("%1").arg(factory.chainChecksum(), 4, 16, QChar('0'));
    QStringList shortNames = firstNames(factory);
    for (QString& name : shortNames) {
        name = name.trimmed();
    }
    const QString names = shortNames.join(QStringLiteral(", "));
    EXPECT_EQ(QStringLiteral("Clean, Crunch, Blues"), names);

    // Cancelled at the start, with nothing open: the app is left with a new
    // bank rather than no window, once the list is answered.
    prompts.banksToOpen = {};
    controller.openDocuments({qPath(zip)});
    EXPECT_TRUE(controller.askingWhichBanks());
    EXPECT_TRUE(controller.windows().isEmpty());
    ASSERT_TRUE(waitForWindows(1));
    EXPECT_FALSE(controller.askingWhichBanks());
    EXPECT_EQ(QStringLiteral("Untitled"), controller.windows().front()->document().displayName());
    test::closeAllUnasked(controller);
    EXPECT_EQ(QStringLiteral("three-banks.zip"), prompts.bankChoices[0].first);
    EXPECT_EQ((QList<QStringList>{{"three-banks.zip › bank 1.syx", chainId, names},
                                  {"three-banks.zip › bank 2.syx", chainId, names},
                                  {"three-banks.zip › bank 3.syx", chainId, names}}),
              prompts.bankChoices[0].second);

    prompts.banksToOpen = {2};
    controller.openDocuments({qPath(zip)});
    ASSERT_TRUE(waitForWindows(1));
    EXPECT_EQ(QStringLiteral("three-banks.zip › bank 3.syx — imported[*]"),
              controller.windows().front()->windowTitle());

    prompts.banksToOpen = {}; // cancelled, with a window open: nothing more
    controller.openDocuments({qPath(zip)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.askingWhichBanks(); }));
    EXPECT_TRUE(waitForWindows(1));

    // Open All: the bank open already is brought forward, not opened twice.
    DocumentWindow* third = controller.windows().front();
    ASSERT_TRUE(third->document().renamePatch(0, QStringLiteral("Edited")));
    prompts.banksToOpen = {0, 1, 2};
    controller.openDocuments({qPath(zip)});
    ASSERT_TRUE(waitForWindows(3));
    EXPECT_EQ("Edited ", third->document().bank().patchNameAt(0));
    QStringList titles;
    for (DocumentWindow* window : controller.windows()) {
        titles.append(window->windowTitle());
        EXPECT_TRUE(window->document().isModified());
        if (window != third) {
            EXPECT_EQ(firstNames(factory), firstNames(window->document().bank()));
        }
    }
    titles.sort();
    EXPECT_EQ((QStringList{"three-banks.zip › bank 1.syx — imported[*]",
                           "three-banks.zip › bank 2.syx — imported[*]",
                           "three-banks.zip › bank 3.syx — imported[*]"}),
              titles);
    // A MIDI file's two dumps are told apart by their number.
    prompts.banksToOpen = {1};
    controller.openDocuments({qPath(copied("scan/format2-two-dumps.mid", "two.mid"))});
    ASSERT_TRUE(waitForWindows(4));
    EXPECT_EQ(QStringLiteral("two.mid"), prompts.bankChoices.back().first);
    EXPECT_EQ(2, prompts.bankChoices.back().second.size());
    EXPECT_EQ(QStringLiteral("two.mid, dump 2"), prompts.bankChoices.back().second[1][0]);
    EXPECT_TRUE(prompts.errors.isEmpty());
}

// A file with no whole bank, a cut one among them, is refused as a bank file
// always was, with what it holds instead, and recovering the patches is
// offered for the cut one; a bank file with bytes that are no nibbles still
// opens as its own file, to be mended.
TEST_F(OpenDocuments, AFileWithoutABankSaysWhatItHolds)
{
    const auto tooShort = dir / "short.syx";
    test::writeBytes(tooShort, std::vector<std::uint8_t>(10, 0));
    auto odd = factoryBytes();
    odd[200] = 0x7F;
    test::writeBytes(dir / "odd.syx", odd);
    // Cut inside the chain data, which comes first: no patch arrived.
    auto early = factoryBytes();
    early.resize(15000);
    test::writeBytes(dir / "early.syx", early);
    controller.openDocuments(
        {qPath(copied("scan/other-sysex.mid", "other.mid")),
         qPath(copied("archives/short.tar", "short.tar")), qPath(tooShort), qPath(dir / "odd.syx"),
         qPath(copied("scan/format0-truncated.mid", "cut.mid")), qPath(dir / "early.syx")});
    ASSERT_TRUE(waitForWindows(1));
    const QString refused =
        QStringLiteral("The document “%1” could not be opened.|Invalid Data|%2");
    EXPECT_EQ(
        (QStringList{
            refused.arg("other.mid",
                        "a MIDI file with 3 SysEx messages, none of them an All-Data dump"),
            refused.arg("short.tar", "a tar archive with 2 files, none holding an All-Data dump"),
            refused.arg("short.syx",
                        QString::fromStdString(checkAllDataLength(10).failure().reason)),
            refused.arg("early.syx",
                        "a stream of MIDI messages with 1 All-Data dump cut short. Dump 1 is cut "
                        "short: the bytes ended after 15000 of its 29198 bytes")}),
        prompts.errors);
    // Only the dump cut short has patches to recover.
    EXPECT_EQ(QStringList{refused.arg(
                  "cut.mid", "a MIDI file with 1 All-Data dump cut short. Dump 1 is cut "
                             "short: the bytes ended after 19930 of its 29198 bytes. The "
                             "scan stopped early: track 1 at byte 14 says 29263 bytes, but "
                             "only 19978 are left in the file")},
              prompts.recoveryOffers);
    EXPECT_EQ(controller.windows().front(), controller.windowForFile(qPath(dir / "odd.syx")));
    EXPECT_FALSE(controller.windows().front()->document().isModified());
}

// Dropped from a file manager onto a window, as File > Open.
TEST_F(OpenDocuments, ADroppedMidiFileOpensItsBank)
{
    const auto song = copied("scan/format0.mid", "dropped song.mid");
    DocumentWindow* window = controller.newDocument();
    TableView& table = window->view().table();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(qPath(song))});
    EXPECT_TRUE(test::dropOnto(table, &files, table.viewport()->rect().center()).accepted);
    ASSERT_TRUE(waitForWindows(2));
    EXPECT_EQ(QStringLiteral("dropped song.mid — imported[*]"),
              controller.windows().back()->windowTitle());
    EXPECT_FALSE(window->document().isModified());
    EXPECT_TRUE(prompts.errors.isEmpty());
}

// The patches that arrived whole of a dump cut short, over the factory bank,
// open as a new bank saved beside the source, never over it, with what was
// recovered told over it: by File > Recover Patches…, and by the button of
// the message a cut file gets, dropped on a window or opened from the
// desktop. Nothing to recover is said, and nothing opens.
TEST_F(OpenDocuments, ACutDumpsWholePatchesOpenAsANewBankWithTheReport)
{
    const auto cut = dir / "cut.syx";
    const A3AllDataSource sent = writeCutDump(cut);
    const auto source = test::readBytes(cut);
    DocumentWindow* window = controller.newDocument();
    prompts.fileToRecover = qPath(cut);
    test::menuAction(window, QStringLiteral("Recover Patches…"))->trigger();
    ASSERT_TRUE(waitForWindows(2));
    DocumentWindow* recovered = controller.windows().back();
    EXPECT_EQ(QStringLiteral("cut.syx — recovered[*]"), recovered->windowTitle());
    EXPECT_EQ(QString(), recovered->document().filePath());
    expectFirstThreeRecovered(sent, recovered->document());
    ASSERT_EQ(1, prompts.warnings.size());
    EXPECT_TRUE(prompts.warnings[0].startsWith(
        "Patches recovered from “cut.syx”|Recovered 3 of 100 patches: 1–3.\nPatches 4–100 did "
        "not arrive whole, so the bank has the factory bank's there.\n"))
        << prompts.warnings[0].toStdString();
    EXPECT_EQ(false, save(recovered)); // cancelled
    EXPECT_EQ(QStringList{qPath(dir / "cut recovered.syx")}, prompts.suggestedSavePaths);

    prompts.recoverAnswer = true;
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(qPath(cut))});
    TableView& table = window->view().table();
    EXPECT_TRUE(test::dropOnto(table, &files, table.viewport()->rect().center()).accepted);
    ASSERT_TRUE(waitForWindows(3));
    controller.openDocuments({qPath(cut)});
    ASSERT_TRUE(waitForWindows(4));
    for (DocumentWindow* each : controller.windows().mid(2)) {
        EXPECT_EQ(QStringLiteral("cut.syx — recovered[*]"), each->windowTitle());
        expectFirstThreeRecovered(sent, each->document());
    }
    EXPECT_EQ(2, prompts.recoveryOffers.size());
    EXPECT_EQ(3, prompts.warnings.size());
    EXPECT_EQ(source, test::readBytes(cut));
    EXPECT_TRUE(prompts.errors.isEmpty());

    // Cut in the chain data, which comes first; no dump at all.
    test::writeBytes(dir / "early.syx", std::span(source).first(5000));
    for (const auto& nothing : {dir / "early.syx", copied("scan/other-sysex.mid", "other.mid")}) {
        prompts.fileToRecover = qPath(nothing);
        test::menuAction(window, QStringLiteral("Recover Patches…"))->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }));
    }
    ASSERT_EQ(2, prompts.errors.size());
    EXPECT_TRUE(prompts.errors[0].startsWith("No patch could be recovered from “early.syx”.|None "
                                             "of its patches arrived whole and clean.|"))
        << prompts.errors[0].toStdString();
    EXPECT_EQ("No patch could be recovered from “other.mid”.|a MIDI file with 3 SysEx messages, "
              "none of them an All-Data dump",
              prompts.errors[1]);
    EXPECT_TRUE(waitForWindows(4));
}

// The real list, over the window whose File > Open asked: the window waits
// for it before it closes, and Open All opens every bank.
using OpenDocumentsWithRealDialogs = test::WithWindows<DialogPrompts>;

TEST_F(OpenDocumentsWithRealDialogs, AWindowClosesOnlyOnceItsBankListIsAnswered)
{
    std::filesystem::copy_file(kData / "archives/three-banks.zip", dir / "three-banks.zip");
    QPointer<DocumentWindow> window = controller.newDocument();
    window->files().openFiles({qPath(dir / "three-banks.zip")});
    QDialog* list = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        list = test::shownDialog<QDialog>(
            [](QDialog& dialog) { return dialog.findChild<QTreeWidget*>("banks") != nullptr; });
        return list != nullptr;
    }));
    EXPECT_EQ(window, list->parentWidget());
    EXPECT_TRUE(window->questions().any());
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(3, list->findChild<QTreeWidget*>("banks")->topLevelItemCount());

    for (QPushButton* button : list->findChildren<QPushButton*>()) {
        if (button->text() == "Open All") {
            button->click();
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    }));
    QStringList titles;
    for (DocumentWindow* opened : controller.windows()) {
        titles.append(opened->windowTitle());
    }
    titles.sort();
    EXPECT_EQ((QStringList{"three-banks.zip › bank 1.syx — imported[*]",
                           "three-banks.zip › bank 2.syx — imported[*]",
                           "three-banks.zip › bank 3.syx — imported[*]"}),
              titles);
}

// The real message, the file's name shown as text, takes Recover Patches…
// for Enter; the report shows over the recovered bank, whose window waits for
// it to be read before it closes.
TEST_F(OpenDocumentsWithRealDialogs, TheRecoverButtonShowsThePatchesWithTheReportOverThem)
{
    const auto cut = dir / "<b>cut.syx";
    writeCutDump(cut);
    DocumentWindow* window = controller.newDocument();
    window->files().openFiles({qPath(cut)});
    QMessageBox* refused = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (refused = test::shownMessageBox(QStringLiteral("could not be opened"))); }));
    EXPECT_EQ(window, refused->parentWidget());
    EXPECT_EQ("", test::markupShown());
    ASSERT_NE(nullptr, refused->defaultButton());
    EXPECT_EQ(QStringLiteral("Recover Patches…"), refused->defaultButton()->text());
    refused->defaultButton()->click();

    QMessageBox* report = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return (report = test::shownMessageBox(QStringLiteral("Patches recovered from")));
    }));
    ASSERT_EQ(2, controller.windows().size());
    QPointer<DocumentWindow> recovered = controller.windows().back();
    EXPECT_EQ(recovered.data(), report->parentWidget());
    EXPECT_EQ(QStringLiteral("Patches recovered from “<b>cut.syx”"), report->text());
    EXPECT_TRUE(
        report->informativeText().startsWith(QStringLiteral("Recovered 3 of 100 patches: 1–3.\n")));
    EXPECT_EQ("", test::markupShown());
    recovered->document().undoStack().setClean(); // closes without asking
    recovered->close();
    QTest::qWait(50);
    ASSERT_FALSE(recovered.isNull());
    test::clickButton(report, QStringLiteral("OK"));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return recovered.isNull();
    }));
}

} // namespace
} // namespace a3
