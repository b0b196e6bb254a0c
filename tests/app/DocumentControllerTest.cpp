// Opening, saving, reverting and closing documents through their windows, with
// the questions a user is asked answered by the test from the event loop.

#include "DocumentController.h"

#include "AppController.h"
#include "AppTestSupport.h"
#include "BankView.h"
#include "DocumentFixtures.h"
#include "DocumentWindow.h"
#include "FakePrompts.h"
#include "Isolation.h"
#include "Poppler.h"
#include "TableView.h"
#include "Watchdog.h"

#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <cctype>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using Changed = UserPrompts::ChangedFileChoice;
using Choice = UserPrompts::SaveChoice;
using test::menuAction;
using test::outcomeOf;
using test::qPath;

void rename(DocumentWindow* window, int row, const QString& name)
{
    EXPECT_TRUE(window->document().renamePatch(row, name));
}

std::string nameAt(DocumentWindow* window, int row)
{
    return window->document().bank().patchNameAt(row);
}

// Brings the window to the front with its table in focus, as a click does.
TableView* activate(DocumentWindow* window)
{
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    window->view().table().setFocus();
    return &window->view().table();
}

class Documents : public test::WithWindows<test::FakePrompts>
{
protected:
    std::optional<bool> save(DocumentWindow* window, bool as = false)
    {
        return outcomeOf(
            [&](auto done) { as ? window->files().saveAs(done) : window->files().save(done); });
    }
};

// Each way a file comes in reports a refusal with the reader's reason and
// leaves no window behind; the reasons themselves are the readers' to test.
// Qt gives a name that is not UTF-8 text with a byte lost: the app must read
// no other file under it.
TEST_F(Documents, ARefusedFileIsReportedAndLeavesNoWindow)
{
    test::writeBytes(dir / "short.syx", std::vector<std::uint8_t>(kAllDataFileSize - 1, 0));
    test::writeBytes(dir / "new\xFF.syx", A3AllDataSource::fallbackBank().syxData());
    for (const auto& [name, reason] : {std::pair{"short.syx", "Invalid Data"},
                                       {"new\xFF.syx", "The file name is not valid UTF-8 text."}}) {
        DocumentController::OpenFailure failure; // the command line
        EXPECT_EQ(nullptr,
                  controller.openDocument(QFile::decodeName((dir / name).c_str()), &failure));
        EXPECT_EQ(
            QStringLiteral("The document “%1” could not be opened.").arg(QFile::decodeName(name)),
            failure.message);
        EXPECT_EQ(QString::fromUtf8(reason), failure.problem.reason);
    }
    EXPECT_TRUE(controller.windows().isEmpty());

    // Dropped on the table, as file managers offer files: addresses and their
    // paths as text. The table passes them on to the window.
    const auto good = test::writeFactoryBank(dir / "dropped.syx");
    DocumentWindow* window = controller.newDocument();
    TableView& table = window->view().table();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(qPath(dir.path())), QUrl::fromLocalFile(qPath(good))});
    files.setText(qPath(dir.path()) + QLatin1Char('\n') + qPath(good));
    EXPECT_TRUE(test::dropOnto(table, &files, table.viewport()->rect().center()).accepted);
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.windowForFile(qPath(good)); }));
    EXPECT_EQ(QStringList{QStringLiteral("The document “%1” could not be opened.|Is a directory")
                              .arg(qPath(dir.path().filename()))},
              prompts.errors);
    EXPECT_EQ(2, controller.windows().size());
    EXPECT_FALSE(window->document().isModified());
}

// A file open in a window is that window's under each of its names: opened
// again, the window comes forward; Save As in another never writes it. Save
// As adds the extension, replaces no file unasked, and writes nothing under
// a name that is not UTF-8 text.
TEST_F(Documents, AnOpenFileIsItsWindowsAndSaveAsWritesOnlyWhereItMay)
{
    const auto taken = test::writeFactoryBank(dir / "taken.syx");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(taken, dir / "link.syx");
    DocumentWindow* other = controller.openDocument(qPath(dir / "taken.syx"));
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(other, controller.openDocument(qPath(dir / "sub/../taken.syx")));
    EXPECT_EQ(other, controller.openDocument(qPath(dir / "link.syx")));
    EXPECT_EQ(1, controller.windows().size());

    const auto before = test::readBytes(taken);
    DocumentWindow* window = controller.newDocument();
    rename(window, 0, QStringLiteral("Mine"));
    EXPECT_EQ(false, save(window)); // Save As cancelled
    EXPECT_TRUE(prompts.suggestedSavePaths.front().endsWith(QStringLiteral("/Untitled.syx")));

    prompts.saveLocation = qPath(dir / "taken"); // completed to a file that exists
    EXPECT_EQ(false, save(window, true));
    EXPECT_EQ(QStringList{"taken.syx"}, prompts.asked);
    prompts.replace = true; // replaced: but it is open in the other window
    EXPECT_EQ(false, save(window, true));
    prompts.saveLocation = QFile::decodeName((dir / "new\xFF.syx").c_str());
    EXPECT_EQ(false, save(window, true));
    EXPECT_EQ((QStringList{"“taken.syx” is open in another window.|Close that window first, or "
                           "save under another name.",
                           QStringLiteral("The document “Untitled” could not be saved as “%1”.|The "
                                          "file name is not valid UTF-8 text.")
                               .arg(QFile::decodeName("new\xFF.syx"))}),
              prompts.errors);
    EXPECT_EQ(before, test::readBytes(taken));
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(dir.path()),
                               std::filesystem::directory_iterator()));
    EXPECT_TRUE(window->document().isModified());
    EXPECT_TRUE(window->document().filePath().isEmpty());
    EXPECT_EQ(other, controller.windowForFile(qPath(taken)));

    prompts.saveLocation = qPath(dir / "mine");
    ASSERT_EQ(true, save(window));
    EXPECT_EQ(qPath(dir / "mine.syx"), window->document().filePath());
    EXPECT_EQ(test::fileContent(window->document()), test::readBytes(dir / "mine.syx"));
    EXPECT_EQ(QStringLiteral("mine.syx[*]"), window->windowTitle());
}

TEST_F(Documents, RevertAsksFirstAndAFailedRevertChangesNothing)
{
    const auto path = test::writeFactoryBank(dir / "bank.syx");
    DocumentWindow* window = controller.openDocument(qPath(dir / "bank.syx"));
    QAction* revertAction = menuAction(window, QStringLiteral("Revert to Saved"));
    EXPECT_FALSE(revertAction->isEnabled()); // as opened, before any focus moves
    rename(window, 1, QStringLiteral("Mine"));
    const QString chainId = window->view().chainIdLabel().text();
    const auto revert = [&] {
        window->files().revert();
        (void)QTest::qWaitFor([&] { return !window->questions().any(); });
    };
    prompts.revert = false;
    revert();
    EXPECT_EQ("Mine   ", nameAt(window, 1));

    test::writeBytes(path, std::vector<std::uint8_t>(3, 0));
    prompts.revert = true;
    revert();
    EXPECT_EQ(QStringList{"The document “bank.syx” could not be reverted.|Invalid Data|wrong "
                          "length: 3 bytes, expected 29198"},
              prompts.errors);
    EXPECT_EQ("Mine   ", nameAt(window, 1));
    EXPECT_EQ(chainId, window->view().chainIdLabel().text());
    EXPECT_TRUE(window->isWindowModified());

    test::writeFactoryBank(dir / "bank.syx");
    revert();
    EXPECT_EQ("Crunch ", nameAt(window, 1));
    EXPECT_FALSE(window->isWindowModified());
    // As saved: nothing to revert to.
    EXPECT_FALSE(revertAction->isEnabled());
}

// Closing asks about unsaved changes and closes only when nothing is lost;
// quitting asks so about each edited document in turn, stops at a Cancel, and
// quits once every window is closed.
TEST_F(Documents, ClosingAndQuittingAskAboutEachEditedDocumentAndLoseNothing)
{
    DocumentWindow* first = controller.newDocument();
    QPointer<DocumentWindow> unchanged = controller.newDocument();
    DocumentWindow* third = controller.newDocument();
    unchanged->close(); // as the window manager closes it
    ASSERT_TRUE(QTest::qWaitFor([&] { return !unchanged || !unchanged->isVisible(); }));
    EXPECT_TRUE(prompts.asked.isEmpty());

    rename(first, 0, QStringLiteral("A"));
    rename(third, 0, QStringLiteral("C"));
    const auto close = [&] { return outcomeOf([&](auto done) { first->closeDocument(done); }); };
    prompts.saveAnswers = {Choice::Cancel, Choice::Save}; // then Save As is cancelled
    EXPECT_EQ(false, close());
    EXPECT_EQ(false, close());
    EXPECT_EQ((QStringList{"Untitled", "Untitled"}), prompts.asked);
    EXPECT_TRUE(first->isVisible());

    prompts.asked.clear();
    prompts.saveAnswers = {Choice::Save, Choice::Cancel};
    prompts.saveLocation = qPath(dir / "kept.syx");
    controller.quit();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return prompts.asked.size() == 2 && prompts.saveAnswers.empty(); }));
    QApplication::processEvents();
    EXPECT_EQ((QStringList{"Untitled", "Untitled 3"}), prompts.asked);
    EXPECT_TRUE(std::filesystem::exists(dir / "kept.syx"));
    EXPECT_EQ(QList<DocumentWindow*>{third}, controller.windows()); // the cancelled one stays

    // A window asked about comes out of the dock to show which it is.
    third->showMinimized();
    prompts.saveAnswers = {Choice::Cancel};
    controller.quit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompts.saveAnswers.empty(); }));
    EXPECT_FALSE(third->isMinimized());

    prompts.saveAnswers = {Choice::DontSave};
    QTimer::singleShot(0, &controller, &DocumentController::quit);
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    EXPECT_EQ(0, QApplication::exec()); // every window closed, then the app quit
    EXPECT_TRUE(controller.windows().isEmpty());
}

// A name being typed when a command runs, wherever in the row the editing
// began: the command works on the bank with the name stored.
class PendingEdit : public Documents,
                    public ::testing::WithParamInterface<std::tuple<std::string, int>>
{};

TEST_P(PendingEdit, IsStoredBeforeTheCommandReadsTheBank)
{
    const auto& [commandText, startColumn] = GetParam();
    const auto path = test::writeFactoryBank(dir / "bank.syx");
    DocumentWindow* window = controller.openDocument(qPath(dir / "bank.syx"));
    TableView* table = activate(window);
    table->setCurrentIndex(table->model()->index(6, startColumn));
    QTest::keyClick(table, 'T');
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(nullptr, editor);
    QTest::keyClicks(editor, QStringLiteral("yped"));

    prompts.revert = false;
    prompts.saveLocation = qPath(dir / "copy.syx");
    prompts.pdfLocation = qPath(dir / "listing.pdf");
    const QString command = QString::fromStdString(commandText);
    menuAction(window, command)->trigger();
    EXPECT_EQ("Typed  ", nameAt(window, 6));
    test::rejectShownDialogs(); // the platform's print dialogs
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }));
    const bool asks = command == "Close" || command == "Quit" || command == "Revert to Saved";
    EXPECT_EQ(asks ? QStringList{"bank.syx"} : QStringList{}, prompts.asked);
    if (command.startsWith(QLatin1String("Save"))) {
        const Result<A3AllDataSource> saved = A3AllDataSource::fromSyxData(
            test::readBytes(command == "Save" ? path : dir / "copy.syx"));
        ASSERT_TRUE(saved.ok());
        EXPECT_EQ("Typed  ", saved->patchNameAt(6));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PendingEdit,
    ::testing::Combine(::testing::Values("Save", "Save As…", "Close", "Quit", "Revert to Saved",
                                         "Print…", "Print Preview…", "PDF…", "MIDI File…"),
                       ::testing::Values(0, 1, 2)),
    [](const auto& instance) { // "SaveAs_FromColumn1"
        std::string name = std::get<0>(instance.param);
        std::erase_if(name, [](unsigned char c) { return !std::isalnum(c); });
        return name + "_FromColumn" + std::to_string(std::get<1>(instance.param));
    });

// The listing's content is the print tests' to read; here, that the window
// hands the export its bank, its name and the default paper, taken only now.
// That paper is what the Print dialog starts from; what the user chooses
// there is what is printed. A cancelled export tells nothing.
TEST_F(Documents, ExportsBesideTheBankOnTheDefaultPaperAndPrintsOnThePaperChosen)
{
    test::writeFactoryBank(dir / "live set.syx");
    DocumentWindow* window = controller.openDocument(qPath(dir / "live set.syx"));
    EXPECT_FALSE(window->document().pageLayout());
    const auto exportTo = [&](const std::filesystem::path& pdf) {
        prompts.pdfLocation = qPath(pdf);
        menuAction(window, QStringLiteral("PDF…"))->trigger();
        return QTest::qWaitFor([&] { return !window->questions().any(); });
    };
    ASSERT_TRUE(exportTo(dir / "listing"));
    EXPECT_EQ(qPath(dir / "live set.pdf"), prompts.suggestedSavePaths.front());
    EXPECT_EQ(QMarginsF(72, 72, 72, 72),
              window->document().pageLayout()->margins(QPageLayout::Point));
    const auto lines = test::simplifiedLines(test::pdfLayoutText(dir / "listing.pdf"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Korg A3 SysEx File: live set.syx", lines.front());
    EXPECT_TRUE(exportTo({})); // cancelled: nothing to tell
    EXPECT_TRUE(exportTo(dir / "no-such-folder" / "x.pdf"));
    EXPECT_EQ(1, prompts.errors.size());

    window->document().setPageLayout(QPageLayout(QPageSize(QPageSize::B5), {}, {}));
    menuAction(window, QStringLiteral("Print…"))->trigger();
    QPrintDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = test::shownDialog<QPrintDialog>()); }));
    EXPECT_EQ(QPageSize(QPageSize::B5), dialog->printer()->pageLayout().pageSize());
    // One page: no range, current page or selection to choose from.
    EXPECT_EQ(std::pair(1, 1), std::pair(dialog->minPage(), dialog->maxPage()));
    EXPECT_FALSE(dialog->options().testAnyFlags(QAbstractPrintDialog::PrintPageRange |
                                                QAbstractPrintDialog::PrintCurrentPage |
                                                QAbstractPrintDialog::PrintSelection));
    dialog->printer()->setOutputFileName(qPath(dir / "printed.pdf"));
    dialog->printer()->setPageSize(QPageSize(QPageSize::A5));
    dialog->done(QDialog::Accepted);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }));
    EXPECT_NE(std::string::npos, test::pdfInfo(dir / "printed.pdf", "Page size").find("(A5)"));
}

TEST_F(Documents, TheKeyboardAloneSelectsCopiesAndPastesAndTheWindowMayThenBeDestroyed)
{
    DocumentWindow* window = controller.newDocument();
    // Also where the platform names no keys for them (no desktop environment).
    EXPECT_FALSE(menuAction(window, QStringLiteral("Save As…"))->shortcut().isEmpty());
    EXPECT_FALSE(menuAction(window, QStringLiteral("Quit"))->shortcut().isEmpty());
    TableView* table = activate(window);
    QGuiApplication::clipboard()->setText(QStringLiteral("not patches"));
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier); // nothing selected: nothing copied
    EXPECT_EQ(QStringLiteral("not patches"), QGuiApplication::clipboard()->text());
    QTest::keyClick(table, Qt::Key_Down); // row 1 selected
    QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(table, Qt::Key_Space, Qt::ControlModifier); // and row 3
    EXPECT_EQ((QList<qint64>{1, 3}), table->selectedRowIndexes());
    EXPECT_EQ(nullptr, table->findChild<QLineEdit*>()); // no rename started

    // Each through the Edit menu, opened from the keyboard.
    const auto fromEditMenu = [&](Qt::Key key) {
        QTest::keyClick(window, Qt::Key_E, Qt::AltModifier);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        EXPECT_NE(nullptr, menu);
        QTest::keyClick(menu, key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !QApplication::activePopupWidget(); }));
        return menu;
    };
    fromEditMenu(Qt::Key_C);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(2 * 64, copied->data(QStringLiteral("org.a3librarian.A3Librarian.patch")).size());
    const test::Patches before = test::allPatches(window->document());
    table->setCurrentIndex(table->model()->index(10, 0));
    table->selectRow(10);
    QMenu* menu = fromEditMenu(Qt::Key_P);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->document().isModified(); }));
    EXPECT_EQ(nameAt(window, 1), nameAt(window, 10));
    EXPECT_EQ(nameAt(window, 3), nameAt(window, 11));

    // The Edit menu as in every editor, Undo and Redo saying what they do.
    QStringList items;
    std::ranges::transform(menu->actions(), std::back_inserter(items),
                           [](QAction* item) { return item->text().remove(QLatin1Char('&')); });
    EXPECT_EQ((QStringList{"Undo Paste 2 Patches", "Redo", "", "Copy", "Paste", "Select All"}),
              items);
    EXPECT_FALSE(menuAction(window, QStringLiteral("Redo"))->isEnabled());
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_EQ(before, test::allPatches(window->document()));
    EXPECT_TRUE(menuAction(window, QStringLiteral("Redo Paste 2 Patches"))->isEnabled());
    EXPECT_FALSE(menuAction(window, QStringLiteral("Undo"))->isEnabled());
    QTest::keySequence(table, QKeySequence::Redo);
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_EQ(nameAt(window, 3), nameAt(window, 11));
    QTest::keySequence(table, QKeySequence::SelectAll);
    EXPECT_EQ(100, table->selectedRowIndexes().size());

    // Destroyed while its table has the focus, the window leaves nothing behind
    // that the next clipboard change would reach.
    ASSERT_EQ(table, QApplication::focusWidget());
    delete window;
    QGuiApplication::clipboard()->setText(QStringLiteral("after"));
    QApplication::processEvents();
    EXPECT_TRUE(controller.windows().isEmpty());
}

TEST_F(Documents, SavingAFileChangedByAnotherProgramAsksFirst)
{
    const auto path = test::writeFactoryBank(dir / "bank.syx");
    DocumentWindow* window = controller.openDocument(qPath(dir / "bank.syx"));
    auto theirs = test::wellFormedAllDataFile(); // another program's bank, same size
    test::writeBytes(path, theirs);
    // Saves an edit; what was asked on the way.
    int edits = 0;
    const auto saveEdited = [&](std::optional<bool> expected, bool as = false) {
        rename(window, 0, QStringLiteral("Edit%1").arg(++edits));
        prompts.asked.clear();
        EXPECT_EQ(expected, save(window, as));
        return prompts.asked;
    };

    prompts.changedFileAnswer = Changed::Cancel;
    EXPECT_EQ(QStringList{"changed: bank.syx"}, saveEdited(false));
    EXPECT_EQ(theirs, test::readBytes(path));
    EXPECT_EQ("Edit1  ", nameAt(window, 0));

    prompts.changedFileAnswer = Changed::SaveAnyway;
    saveEdited(true);
    EXPECT_NE(theirs, test::readBytes(path));
    EXPECT_FALSE(window->document().isModified());
    // Saved once, the file is the document's own again: no question.
    EXPECT_EQ(QStringList{}, saveEdited(true));

    test::writeBytes(path, theirs);
    prompts.changedFileAnswer = Changed::Revert;
    saveEdited(false);
    EXPECT_EQ(theirs, test::readBytes(path));
    EXPECT_EQ(theirs, test::fileContent(window->document()));
    EXPECT_FALSE(window->document().isModified());

    // Under another of its names the file is the same: the question too.
    std::filesystem::create_symlink(path.filename(), dir / "link.syx");
    A3AllDataSource later = A3AllDataSource::fallbackBank();
    ASSERT_TRUE(later.setSyxData(theirs).ok());
    later.setPatchName(u"Later", 9);
    test::writeBytes(path, later.syxData());
    prompts.changedFileAnswer = Changed::Cancel;
    prompts.saveLocation = qPath(dir / "link.syx");
    EXPECT_EQ(QStringList{"changed: bank.syx"}, saveEdited(false, true));
    EXPECT_EQ(later.syxData(), test::readBytes(path));

    // Touched by a backup or sync tool, its content as it was: no question.
    prompts.changedFileAnswer = Changed::SaveAnyway;
    saveEdited(true);
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) +
                                               std::chrono::hours(1));
    EXPECT_EQ(QStringList{}, saveEdited(true));

    // Gone: written anew where it was, without a question.
    std::filesystem::remove(path);
    EXPECT_EQ(QStringList{}, saveEdited(true));
    EXPECT_EQ(kAllDataFileSize, std::filesystem::file_size(path));
}

// A file its owner made read-only stays as it is; the message offers to save
// the document elsewhere, and Save As then does. Written, but its folder not
// synced: the document is saved, and the user told that a crash may undo it.
TEST_F(Documents, SavingFailuresAreReportedAndLoseNothing)
{
    if (!test::withoutPrivileges(dir.path())) {
        return;
    }
    const auto path = test::writeFactoryBank(dir / "locked.syx");
    const auto original = test::readBytes(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    DocumentWindow* window = controller.openDocument(qPath(dir / "locked.syx"));
    rename(window, 0, QStringLiteral("Mine"));
    prompts.saveAsAnswer = true;
    prompts.saveLocation = qPath(dir / "mine.syx");
    EXPECT_EQ(true, save(window));
    EXPECT_EQ(QStringList{QStringLiteral("The document “locked.syx” could not be saved as "
                                         "“locked.syx”.|Permission denied")},
              prompts.errors);
    EXPECT_EQ(original, test::readBytes(path));
    EXPECT_EQ(test::fileContent(window->document()), test::readBytes(dir / "mine.syx"));
    EXPECT_EQ(qPath(dir / "mine.syx"), window->document().filePath());

    prompts.errors.clear();
    rename(window, 0, QStringLiteral("Unsynced"));
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write |
                                                 std::filesystem::perms::owner_exec);
    EXPECT_EQ(true, save(window));
    EXPECT_EQ(QStringList{QStringLiteral("“mine.syx” was written, but a crash or power failure "
                                         "may yet undo it.|Its folder could not be synced: "
                                         "Permission denied")},
              prompts.warnings);
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_FALSE(window->document().isModified());
    EXPECT_EQ(test::fileContent(window->document()), test::readBytes(dir / "mine.syx"));
    // The file is the document's own: the next save asks nothing.
    rename(window, 0, QStringLiteral("Again"));
    EXPECT_EQ(true, save(window));
    EXPECT_TRUE(prompts.asked.isEmpty());
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
}

TEST_F(Documents, AWindowComingToTheFrontShowsItsFileAsAnotherProgramLeftIt)
{
    const auto path = test::writeFactoryBank(dir / "bank.syx");
    DocumentWindow* window = controller.openDocument(qPath(dir / "bank.syx"));
    DocumentWindow* other = controller.newDocument();
    A3AllDataSource changed = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    QSignalSpy reloads(window->view().table().model(), &QAbstractItemModel::dataChanged);
    // Brings the window forward once another program wrote the file.
    const auto theyWrite = [&](const char16_t* name) {
        activate(other);
        changed.setPatchName(name, 2);
        test::writeBytes(path, changed.syxData());
        activate(window);
    };
    theyWrite(u"Theirs");
    EXPECT_EQ("Theirs ", nameAt(window, 2));
    EXPECT_FALSE(window->document().isModified());
    ASSERT_EQ(1, reloads.size());
    // Every row is drawn again: any of them may have changed.
    EXPECT_EQ(reloads.front().at(0).value<QModelIndex>().row(), 0);
    EXPECT_EQ(reloads.front().at(1).value<QModelIndex>().row(), 99);
    theyWrite(u"Theirs"); // content as it was: nothing to show anew
    EXPECT_EQ(1, reloads.size());

    // With unsaved changes the window keeps them: saving will ask.
    rename(window, 0, QStringLiteral("Mine"));
    theyWrite(u"Later");
    EXPECT_EQ("Theirs ", nameAt(window, 2));
    EXPECT_EQ("Mine   ", nameAt(window, 0));
}

// Real message boxes, answered as a user clicks them. A window-modal
// question never stops the user from quitting from another window.
using RealDialogs = test::WithWindows<DialogPrompts>;

TEST_F(RealDialogs, AWindowIsNotDeletedWhileItsRevertQuestionIsOpen)
{
    // A question with an event loop of its own would keep the script from
    // ending: fail fast instead.
    const test::Watchdog watchdog("the revert question script", std::chrono::seconds(60));
    QPointer<DocumentWindow> a =
        controller.openDocument(qPath(test::writeFactoryBank(dir / "a.syx")));
    DocumentWindow* b = controller.newDocument();
    rename(a, 0, QStringLiteral("EditA"));
    rename(b, 0, QStringLiteral("EditB"));

    QAction* revertInA = menuAction(a, QStringLiteral("Revert to Saved"));
    QAction* quitInB = menuAction(b, QStringLiteral("Quit"));
    test::UserScript script({
        {"Revert in A", {}, [revertInA] { revertInA->trigger(); }},
        {"Quit from B while A's question is up",
         [] { return test::shownMessageBox("revert “a.syx”") != nullptr; },
         [quitInB] { quitInB->trigger(); }},
        // The quit waits for A's open question before it asks about A.
        test::UserScript::answer("revert “a.syx”", "Cancel"),
        test::UserScript::answer("changes you made in “a.syx”", "Don’t Save"),
        test::UserScript::answer("changes you made in “Untitled”", "Cancel"),
    });
    EXPECT_EQ(QString(), script.run());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(a.isNull());
    EXPECT_EQ(QList<DocumentWindow*>{b}, controller.windows());
    EXPECT_EQ("EditB  ", nameAt(b, 0));
}

TEST_F(RealDialogs, QuitNeverClosesAWindowWhoseQuestionIsUnanswered)
{
    const test::Watchdog watchdog("the quit script", std::chrono::seconds(60));
    DocumentWindow* b = controller.newDocument();
    QPointer<DocumentWindow> a = controller.newDocument();
    rename(a, 0, QStringLiteral("EditA"));
    rename(b, 0, QStringLiteral("EditB"));

    // Run under the application's own loop, where a quit would end it.
    constexpr int kScriptDone = 42;
    test::UserScript script({
        {"close A", {}, [a] { a->close(); }},
        {"Quit from B while A asks",
         [] { return test::shownMessageBox("“Untitled 2”") != nullptr; },
         [this] { controller.quit(); }},
        test::UserScript::answer("changes you made in “Untitled”?", "Don’t Save"),
        {"A's question is still open", [] { return test::shownMessageBox("“Untitled 2”"); },
         [] { QApplication::exit(kScriptDone); }},
    });
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    EXPECT_EQ(kScriptDone, QApplication::exec());
    ASSERT_FALSE(a.isNull());
    EXPECT_TRUE(a->isVisible());
    EXPECT_EQ("EditA  ", nameAt(a, 0));
    test::clickButton(test::shownMessageBox("“Untitled 2”"), QStringLiteral("Cancel"));
    QApplication::processEvents();
    EXPECT_EQ(QList<DocumentWindow*>{a.data()}, controller.windows());
}

// A reply, whatever its kind, in words.
struct Said
{
    std::function<void(const QString&)> reply;
    void operator()() const { reply(QStringLiteral("closed")); }
    void operator()(bool yes) const { reply(yes ? QStringLiteral("yes") : QStringLiteral("no")); }
    void operator()(Choice choice) const { reply(choice == Choice::Cancel ? "cancel" : "close"); }
    void operator()(Changed choice) const { (*this)(choice != Changed::Cancel); }
    void operator()(const QString& text) const { reply(text); }
    void operator()(const QStringList& files) const { reply(files.join('|')); }
    void operator()(const UserPrompts::SendChoice& choice) const { reply(choice.port); }
};

// Every question the app puts to the user, about a name that reads as markup.
struct Question
{
    const char* what;
    const char* unanswered; // the reply when the dialog goes without an answer
    std::function<void(DialogPrompts&, QWidget*, const QString& name, const Said&)> ask;
    bool namedInALabel = true;
};

const Question kQuestions[] = {
    {"save changes", "cancel",
     [](auto& p, auto w, auto n, auto s) { p.askToSaveChanges(w, n, s); }},
    {"revert", "no", [](auto& p, auto w, auto n, auto s) { p.confirmRevert(w, n, s); }},
    {"replace", "no", [](auto& p, auto w, auto n, auto s) { p.confirmReplace(w, n, s); }},
    {"changed file", "no", [](auto& p, auto w, auto n, auto s) { p.askAboutChangedFile(w, n, s); }},
    {"error", "closed", [](auto& p, auto w, auto n, auto s) { p.showError(w, n, n, {}, s); }},
    {"save as instead", "no", [](auto& p, auto w, auto n, auto s) { p.offerSaveAs(w, n, n, s); }},
    {"warning", "closed", [](auto& p, auto w, auto n, auto s) { p.showWarning(w, n, n, s); }},
    {"port", "",
     [](auto& p, auto w, auto n, auto s) {
         p.choosePort(w, n, {"Thru", n}, n, s);
     }},
    {"port and speed", "",
     [](auto& p, auto w, auto n, auto s) {
         p.chooseSendPort(w, n, {"Thru", n}, n, {{n, SendSpeed::Half}}, s);
     }},
    {"differing patches", "closed",
     [](auto& p, auto w, auto n, auto s) {
         p.showComparison(w, n, {{"1", "Here", "There"}}, s);
     }},
    {"same bank", "closed", [](auto& p, auto w, auto n, auto s) { p.showComparison(w, n, {}, s); }},
    {"open", "", [](auto& p, auto w, auto, auto s) { p.chooseFilesToOpen(w, s); }, false},
    {"save as", "",
     [](auto& p, auto w, auto n, auto s) { p.chooseSaveLocation(w, QDir::temp().filePath(n), s); },
     false},
    {"export", "",
     [](auto& p, auto w, auto n, auto s) { p.choosePdfLocation(w, QDir::temp().filePath(n), s); },
     false},
};

// A question shows the name as it is, never as markup. However its dialog
// goes, the question ends, once, as cancelled; the window can then close.
TEST_F(RealDialogs, AQuestionGoingUnansweredEndsAsCancelled)
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const QString name = QStringLiteral("<i>tilt.syx");
    for (const Question& question : kQuestions) {
        using enum test::DialogEnd;
        for (const test::DialogEnd how : {Closed, ClosedByWindowManager, Deleted}) {
            SCOPED_TRACE(testing::Message() << question.what << ", ended " << int(how));
            DocumentWindow* window = controller.newDocument();
            QStringList replies;
            question.ask(prompts, window, name,
                         Said{window->questions().whenAnswered(
                             [&replies](const QString& reply) { replies.append(reply); })});
            QPointer<QDialog> dialog;
            ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = test::shownDialog()); }));
            EXPECT_EQ("", test::markupShown());
            EXPECT_EQ(question.namedInALabel, test::shownTexts().join('\n').contains(name));

            test::endDialog(dialog, how);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }, 2000));
            EXPECT_EQ(QStringList{QString::fromUtf8(question.unanswered)}, replies);
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_TRUE(dialog.isNull()) << "a dialog lingers hidden";
            EXPECT_EQ(true, outcomeOf([&](auto done) { window->closeDocument(done); }));
        }
    }
}

// So the markup checks above can fail: the About box shows its markup.
TEST_F(RealDialogs, OnlyTheAboutBoxShowsMarkup)
{
    menuAction(controller.newDocument(), QStringLiteral("About A3 Librarian"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return test::shownMessageBox("A3 Librarian"); }));
    const std::string markup = test::markupShown();
    EXPECT_TRUE(markup.starts_with("<p><b>A3 Librarian</b>")) << markup;
    EXPECT_EQ(std::string::npos, markup.find('\n')) << markup;
    test::rejectShownDialogs();
}

// The shipped user guide, where the app finds its resources; nothing when it
// is missing.
TEST(AppControllerTest, OpensTheUserGuideWhenItIsThere)
{
    test::TempDir dir;
    QList<QUrl> opened;
    AppController controller(qPath(dir.path()), [&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    controller.openWebSite();
    EXPECT_TRUE(opened.isEmpty());
    std::filesystem::create_directory(dir / "help");
    test::writeBytes(dir / "help" / "index.html", std::vector<std::uint8_t>{'<', '>'});
    controller.openWebSite();
    EXPECT_EQ(QList<QUrl>{QUrl::fromLocalFile(qPath(dir / "help" / "index.html"))}, opened);
}

} // namespace
} // namespace a3
