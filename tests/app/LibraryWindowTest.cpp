// The Library window end to end, with the real event loop and index: a
// folder added, searched, folded by sound, patches copied into a bank and
// undone, a bank opened at its patch, and banks saved or received showing
// up without a restart.

#include "LibraryWindow.h"

#include "AppTestSupport.h"
#include "BankView.h"
#include "DocumentController.h"
#include "DocumentFixtures.h"
#include "DocumentWindow.h"
#include "FakePrompts.h"
#include "Isolation.h"
#include "Library.h"
#include "LibraryModel.h"
#include "TableView.h"
#include "Watchdog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColor>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace a3 {
namespace {

using test::qPath;

// A bank of one sound, but for the patches given: each a name, and the
// chain number and last byte that make its sound.
struct MadePatch
{
    int number;
    std::u16string name;
    std::uint8_t chain = 1;
    std::uint8_t sound = 0;
};

std::vector<std::uint8_t> bankFile(std::initializer_list<MadePatch> patches,
                                   std::uint8_t chainByte = 0)
{
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    A3AllData record = bank.data();
    record.chain[0] = chainByte;
    bank.setData(record);
    for (const MadePatch& made : patches) {
        std::vector<std::uint8_t> patch = bank.patchDataAt(made.number - 1);
        patch[0] = made.chain;
        patch.back() = made.sound;
        bank.setPatchData(patch, made.number - 1);
        bank.setPatchName(made.name, made.number - 1);
    }
    return bank.syxData();
}

// A text as a label or a tooltip shows it: as markup when it looks like
// markup.
QString asShown(const QVariant& text)
{
    if (!Qt::mightBeRichText(text.toString())) {
        return text.toString();
    }
    QTextDocument document;
    document.setHtml(text.toString());
    return document.toPlainText();
}

class LibraryWindowTest : public test::WithWindows<test::FakePrompts>
{
protected:
    // A library of each test's own: its folders, index and received banks.
    void SetUp() override
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            qputenv(variable, QFile::encodeName(qPath(dir / variable)));
        }
    }

    // Waits for the library's refresh in progress, or the next one.
    // Refreshes start at once when asked for, and tell the window as they end.
    void waitForRefresh()
    {
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return !controller.services().library().isRefreshing(); }));
    }

    // The column as the table shows it once the last search is done.
    QStringList column(LibraryWindow& window, int column)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.model().isSearching(); }));
        QCoreApplication::processEvents();
        QStringList texts;
        for (int row = 0; row < window.model().rowCount(); ++row) {
            texts << window.model().index(row, column).data().toString();
        }
        return texts;
    }
};

TEST_F(LibraryWindowTest, FindsCopiesAndOpensPatchesOfEveryBankKept)
{
    const auto banks = dir / "banks";
    std::filesystem::create_directories(banks / "more");
    test::writeBytes(banks / "a.syx", bankFile({{3, u"Hall", 1, 7}, {5, u"BigHall", 130, 8}}));
    test::writeBytes(banks / "more/b.syx", bankFile({{1, u"hall2", 1, 7}}));
    test::writeBytes(banks / "c.syx", bankFile({{2, u"HallC", 131, 9}}, 5)); // other chain data
    ASSERT_EQ(controller.services().library().addFolder(qPath(banks)), std::nullopt);
    waitForRefresh();

    LibraryWindow& library = *controller.showLibrary();
    library.searchField().setText(QStringLiteral("HALL"));
    EXPECT_EQ(column(library, LibraryModel::Name),
              (QStringList{"Hall   ", "BigHall", "HallC  ", "hall2  "}));
    EXPECT_EQ(column(library, LibraryModel::Bank),
              (QStringList{"a.syx", "a.syx", "c.syx", "b.syx"}));
    EXPECT_EQ(column(library, LibraryModel::Number), (QStringList{"3", "5", "2", "1"}));
    EXPECT_EQ(column(library, LibraryModel::Chain), (QStringList{"01", "C2", "C3", "01"}));
    EXPECT_EQ(column(library, LibraryModel::SameSound), (QStringList{"1", "0", "0", "1"}));
    library.onePerSoundBox().setChecked(true);
    EXPECT_EQ(column(library, LibraryModel::Name), (QStringList{"Hall   ", "BigHall", "HallC  "}));
    library.onePerSoundBox().setChecked(false);
    EXPECT_EQ(4, column(library, LibraryModel::Name).size());

    library.table().selectRow(0);
    ASSERT_EQ(library.alsoInList().count(), 1);
    EXPECT_EQ(library.alsoInList().item(0)->text(),
              qPath(banks / "more/b.syx") + QStringLiteral(", patch 1 (hall2)"));
    // Nothing selected: nowhere else to tell of.
    library.table().clearSelection();
    EXPECT_EQ(library.alsoInList().count(), 0);

    // Patches that need the chain data of two different banks go nowhere.
    QApplication::clipboard()->clear();
    library.table().selectAll();
    library.copySelection();
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(prompts.warnings.front().contains(QStringLiteral("cannot be copied together")));
    const QMimeData* clipboard = QApplication::clipboard()->mimeData();
    EXPECT_TRUE(!clipboard || clipboard->formats().isEmpty());

    // Two patches into a new bank: one undo step puts its bytes back.
    test::selectRows(library.table(), {0, 3});
    library.copySelection();
    DocumentWindow* target = controller.newDocument();
    const std::vector<std::uint8_t> before = test::fileContent(target->document());
    ASSERT_TRUE(target->document().paste({10}));
    EXPECT_EQ(target->document().bank().patchNameAt(10), "Hall   ");
    EXPECT_EQ(target->document().bank().patchNameAt(11), "hall2  ");
    target->document().undoStack().undo();
    EXPECT_EQ(test::fileContent(target->document()), before);

    // A double click shows the bank at that patch.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&library));
    const QRect cell = library.table().visualRect(library.model().index(1, 0));
    QTest::mouseClick(library.table().viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(library.table().viewport(), Qt::LeftButton, {}, cell.center());
    DocumentWindow* shown = controller.windowForFile(qPath(banks / "a.syx"));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->view().table().selectionModel()->selectedRows().value(0).row(), 4);

    // A bank overwritten by another program with what is no bank leaves.
    test::writeBytes(banks / "c.syx", std::vector<std::uint8_t>(kAllDataFileSize, 'x'));
    controller.services().library().refresh();
    waitForRefresh();
    EXPECT_FALSE(column(library, LibraryModel::Name).contains(QStringLiteral("HallC  ")));

    // Saved from its window, or received from the device: found at once.
    EXPECT_TRUE(shown->document().renamePatch(6, QStringLiteral("Saved")));
    ASSERT_TRUE(shown->document().save(qPath(banks / "a.syx")).ok());
    waitForRefresh();
    const Result<NewFile> kept =
        controller.services().library().keepReceivedBank(bankFile({{9, u"Hallway"}}));
    ASSERT_TRUE(kept.ok());
    EXPECT_TRUE(kept->written.durable);
    waitForRefresh();
    library.searchField().setText(QStringLiteral("a"));
    EXPECT_TRUE(column(library, LibraryModel::Name).contains(QStringLiteral("Saved  ")));
    const int received = static_cast<int>(column(library, LibraryModel::Name).indexOf("Hallway"));
    ASSERT_GE(received, 0);
    // Where Qt keeps the app's data: the app's name is set by its main().
    const QString testName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("A3 Librarian"));
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setApplicationName(testName);
    EXPECT_EQ(asShown(library.model().index(received, LibraryModel::Bank).data(Qt::ToolTipRole)),
              appData + QStringLiteral("/Received/") +
                  library.model().index(received, LibraryModel::Bank).data().toString());

    // A folder removed takes its banks out; the received banks stay.
    ASSERT_EQ(controller.services().library().removeFolder(qPath(banks)), std::nullopt);
    EXPECT_TRUE(controller.services().library().folders().isEmpty());
    waitForRefresh();
    library.searchField().setText(QStringLiteral("hall"));
    EXPECT_EQ(column(library, LibraryModel::Name), QStringList{QStringLiteral("Hallway")});
}

// A patch of a bank inside an archive is named by its place, and opens as
// that dump alone, an untitled bank, at the patch; once the archive is gone,
// the user is told.
TEST_F(LibraryWindowTest, APatchInAnArchiveOpensItsOwnDumpAtThePatch)
{
    const auto banks = dir / "banks";
    std::filesystem::create_directories(banks);
    std::filesystem::copy_file(std::filesystem::path(A3_TEST_DATA_DIR) / "archives/three-banks.zip",
                               banks / "Factory.zip");
    ASSERT_EQ(controller.services().library().addFolder(qPath(banks)), std::nullopt);
    LibraryWindow& library = *controller.showLibrary();
    waitForRefresh();
    library.searchField().setText(QStringLiteral("Crunch"));
    EXPECT_EQ(column(library, LibraryModel::Bank),
              (QStringList{"Factory.zip › bank 1.syx", "Factory.zip › bank 2.syx",
                           "Factory.zip › bank 3.syx"}));
    library.table().selectRow(1);
    ASSERT_EQ(library.alsoInList().count(), 2);
    EXPECT_EQ(library.alsoInList().item(1)->text(),
              qPath(banks / "Factory.zip") + QStringLiteral(" › bank 3.syx, patch 2 (Crunch)"));

    ASSERT_TRUE(QTest::qWaitForWindowExposed(&library));
    const auto doubleClick = [&](int row) {
        const QRect cell = library.table().visualRect(library.model().index(row, 0));
        QTest::mouseClick(library.table().viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(library.table().viewport(), Qt::LeftButton, {}, cell.center());
    };
    doubleClick(1);
    ASSERT_EQ(controller.windows().size(), 1);
    DocumentWindow* shown = controller.windows().front();
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("Factory.zip › bank 2.syx — imported[*]"));
    EXPECT_EQ(shown->view().table().selectionModel()->selectedRows().value(0).row(), 1);
    EXPECT_TRUE(prompts.bankChoices.isEmpty());

    std::filesystem::remove(banks / "Factory.zip");
    doubleClick(2);
    EXPECT_EQ(controller.windows().size(), 1);
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors.front().startsWith(
        QStringLiteral("The bank “Factory.zip › bank 3.syx” could not be opened.|")))
        << prompts.errors.front().toStdString();
}

// Names come from downloads and shared folders: markup in one is shown as it
// is, and never loads what an <img src=...> in it names (here a FIFO, which
// would hold the window for ever).
TEST_F(LibraryWindowTest, NamesAreShownAsTheyAreNeverAsMarkup)
{
    const test::Watchdog watchdog("showing names with markup", std::chrono::seconds(60));
    const auto banks = dir / "banks";
    std::filesystem::create_directories(banks);
    ASSERT_EQ(::mkfifo((banks / "fifo").c_str(), 0600), 0);
    // Where a relative src is looked for.
    const std::shared_ptr<const QString> previous(new QString(QDir::currentPath()),
                                                  [](const QString* folder) {
                                                      QDir::setCurrent(*folder);
                                                      delete folder;
                                                  });
    QDir::setCurrent(qPath(banks));
    const std::string name = "<img src=fifo><font size=7 color=red>BIG.syx";
    test::writeBytes(banks / name, bankFile({{1, u"Same", 1, 7}}));
    // A stored chain checksum that does not match: a3bank check warns of it.
    std::vector<std::uint8_t> defective = bankFile({{1, u"Same", 1, 7}});
    defective[16389] ^= 0x01;
    test::writeBytes(banks / "other.syx", defective);
    const std::filesystem::path missing = dir / "<b>gone</b>";
    ASSERT_EQ(controller.services().library().addFolder(qPath(banks)), std::nullopt);
    ASSERT_EQ(controller.services().library().addFolder(qPath(missing)), std::nullopt);
    waitForRefresh();

    LibraryWindow& library = *controller.showLibrary();
    waitForRefresh(); // each showing refreshes
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&library));
    library.searchField().setText(QStringLiteral("Same"));
    ASSERT_EQ(column(library, LibraryModel::Bank).size(), 2);
    const int row = static_cast<int>(column(library, LibraryModel::Bank).indexOf(name.c_str()));
    ASSERT_GE(row, 0) << column(library, LibraryModel::Bank).join('|').toStdString();

    // The tooltip as the table shows it, through the event a hovering mouse sends.
    const QModelIndex cell = library.model().index(row, LibraryModel::Bank);
    const QPoint at = library.table().visualRect(cell).center();
    QHelpEvent hover(QEvent::ToolTip, at, library.table().viewport()->mapToGlobal(at));
    QApplication::sendEvent(library.table().viewport(), &hover);
    EXPECT_EQ(asShown(QToolTip::text()), qPath(banks / name));
    QToolTip::hideText();
    // The bank with defects is named as any other, in red, and says why.
    const QModelIndex defectiveCell = library.model().index(1 - row, LibraryModel::Bank);
    EXPECT_EQ(defectiveCell.data().toString(), QStringLiteral("other.syx"));
    EXPECT_EQ(defectiveCell.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::darkRed));
    EXPECT_TRUE(defectiveCell.data(Qt::ToolTipRole).toString().contains(QStringLiteral("defects")));
    EXPECT_FALSE(cell.data(Qt::ForegroundRole).isValid());

    library.table().selectRow(1 - row);
    ASSERT_EQ(library.alsoInList().count(), 1);
    EXPECT_EQ(library.alsoInList().item(0)->text(),
              qPath(banks / name) + QStringLiteral(", patch 1 (Same)"));

    EXPECT_EQ(library.statusText().textFormat(), Qt::PlainText);
    EXPECT_TRUE(library.statusText().text().contains(
        QStringLiteral("“%1” could not be read").arg(qPath(missing))));
}

// A folder whose files are never read to the end (a network mount that stopped
// answering): the window says which, Cancel frees it at once, and the library
// still goes, and the app with it.
TEST_F(LibraryWindowTest, AFolderThatDoesNotAnswerNeitherHoldsTheWindowNorTheAppsEnd)
{
    if (!test::withPreloaded(A3_BLOCKING_READ)) {
        return;
    }
    const test::Watchdog watchdog("a refresh stuck on a folder", std::chrono::seconds(60));
    const auto banks = dir / "banks";
    test::writeBytes(banks / "a.syx", bankFile({{1, u"Hall"}}));
    test::writeBytes(banks / "mount/stuck.syx", bankFile({{1, u"Stuck"}}));
    setenv("A3_BLOCK_READS_OF", "stuck.syx", 1);

    auto app = std::make_unique<DocumentController>(appController, prompts);
    ASSERT_EQ(app->services().library().addFolder(qPath(banks)), std::nullopt);
    LibraryWindow& library = *app->showLibrary();
    const QString waiting = QStringLiteral("waiting for “%1”").arg(qPath(banks / "mount"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return library.statusText().text().contains(waiting); }, 20'000))
        << library.statusText().text().toStdString();
    EXPECT_TRUE(library.cancelButton().isVisible());

    QTest::mouseClick(&library.cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(app->services().library().isRefreshing());
    EXPECT_FALSE(library.cancelButton().isVisible());
    EXPECT_TRUE(library.statusText().text().contains(QStringLiteral("cancelled")));
    app->services().library().refresh(); // waits for the stuck one; the window stays free
    EXPECT_FALSE(app->services().library().isRefreshing());

    app.reset(); // as when the app quits: within the watchdog's time
    unsetenv("A3_BLOCK_READS_OF");
}

// Showing the Library looks at its folders again: a bank another program
// saved there meanwhile is found.
TEST_F(LibraryWindowTest, ShowingTheLibraryFindsBanksSavedSince)
{
    const auto banks = dir / "banks";
    test::writeBytes(banks / "a.syx", bankFile({{1, u"First"}}));
    ASSERT_EQ(controller.services().library().addFolder(qPath(banks)), std::nullopt);
    waitForRefresh();
    test::writeBytes(banks / "b.syx", bankFile({{1, u"Later"}}));
    LibraryWindow& library = *controller.showLibrary();
    waitForRefresh();
    library.searchField().setText(QStringLiteral("Later"));
    EXPECT_EQ(column(library, LibraryModel::Bank), QStringList{"b.syx"});
}

// Library > Add Folder… asks for a folder, showing folders only, and adds
// the one chosen.
TEST_F(LibraryWindowTest, AddFolderAsksForAFolderAndAddsTheOneChosen)
{
    const auto chosen = dir / "chosen";
    std::filesystem::create_directories(chosen);
    test::writeBytes(dir / "a.syx", bankFile({}));
    LibraryWindow& library = *controller.showLibrary();
    waitForRefresh();
    // An empty library says how to fill it.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return library.statusText().text().startsWith(
            QStringLiteral("No banks in the library yet: add a folder of banks with Library > Add "
                           "Folder…"));
    })) << library.statusText().text().toStdString();
    test::menuAction(&library, QStringLiteral("Add Folder…"))->trigger();
    auto* dialog = library.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
    dialog->setDirectory(qPath(dir.path()));
    dialog->selectFile(qPath(chosen));
    QMetaObject::invokeMethod(dialog, "accept"); // as its Choose button does
    EXPECT_EQ(controller.services().library().folders(), QStringList{qPath(chosen)});
}

// From the Library window the user reaches every bank window, opens and
// makes banks, and quits, by keyboard as by menu.
TEST_F(LibraryWindowTest, TheLibraryWindowHasTheAppsCommands)
{
    DocumentWindow* first = controller.newDocument();
    LibraryWindow& library = *controller.showLibrary();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&library));

    test::menuAction(&library, QStringLiteral("New"))->trigger();
    EXPECT_EQ(controller.windows().size(), 2);
    const auto bank = test::writeFactoryBank(dir / "R&B.syx");
    prompts.filesToOpen = {qPath(bank)};
    test::menuAction(&library, QStringLiteral("Open…"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.windowForFile(qPath(bank)); }));

    // The Window menu lists every bank window, names as they are.
    QMenu* windowMenu = nullptr;
    for (QAction* menu : library.menuBar()->actions()) {
        if (menu->text() == QStringLiteral("&Window")) {
            windowMenu = menu->menu();
        }
    }
    ASSERT_NE(windowMenu, nullptr);
    QApplication::setActiveWindow(&library);
    emit windowMenu->aboutToShow();
    QStringList listed;
    for (QAction* item : windowMenu->actions()) {
        listed << item->text();
    }
    EXPECT_EQ(listed, (QStringList{"&Library", "", "Untitled", "Untitled 2", "R&&B.syx"}));
    EXPECT_TRUE(windowMenu->actions().at(0)->isChecked()); // the window it is in
    EXPECT_FALSE(windowMenu->actions().at(2)->isChecked());
    emit windowMenu->aboutToShow(); // listed anew: not twice, the old items gone
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(windowMenu->actions().size(), 5);
    EXPECT_EQ(windowMenu->findChildren<QAction*>(Qt::FindDirectChildrenOnly).size(),
              windowMenu->actions().size() + 1); // and its own action in the menu bar
    windowMenu->actions().at(2)->trigger();
    EXPECT_TRUE(QTest::qWaitForWindowActive(first));
    emit windowMenu->aboutToShow();
    EXPECT_TRUE(windowMenu->actions().at(2)->isChecked());
    EXPECT_FALSE(windowMenu->actions().at(0)->isChecked());

    // Ctrl+L comes back here; Ctrl+Q there quits the app.
    QTest::keyClick(first, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&library));
    QTimer::singleShot(0, [&] { QTest::keyClick(&library, Qt::Key_Q, Qt::ControlModifier); });
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    EXPECT_EQ(0, QApplication::exec());
    EXPECT_TRUE(controller.windows().isEmpty());
}

// A sound kept in thousands of places, and a folder of thousands of unreadable
// folders: the window lists a few and counts the rest.
TEST_F(LibraryWindowTest, LongListsShowTheirFirstItemsAndCountTheRest)
{
    const auto banks = dir / "banks";
    for (int k = 0; k < 13; ++k) {
        test::writeBytes(banks / ("init" + std::to_string(k) + ".syx"), bankFile({}));
    }
    std::vector<std::filesystem::path> folders{banks};
    for (int k = 0; k < 5; ++k) {
        folders.push_back(dir / ("gone" + std::to_string(k)));
    }
    for (const auto& folder : folders) {
        ASSERT_EQ(controller.services().library().addFolder(qPath(folder)), std::nullopt);
    }
    LibraryWindow& library = *controller.showLibrary();
    EXPECT_EQ(library.statusText().text(), QStringLiteral("Updating the library…"));
    waitForRefresh();

    // The table is told of every row the model gives it, a thousand at a time.
    while (library.model().canFetchMore({})) {
        library.model().fetchMore({});
    }
    EXPECT_EQ(column(library, LibraryModel::Name).size(), 1300);
    EXPECT_EQ(library.table().verticalHeader()->count(), 1300);

    library.table().selectRow(0);
    ASSERT_EQ(library.alsoInList().count(), LibraryWindow::kAlsoInListed + 1);
    EXPECT_EQ(library.alsoInList().item(LibraryWindow::kAlsoInListed)->text(),
              QStringLiteral("and 1199 more places"));

    const QStringList lines = library.statusText().text().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.filter(QStringLiteral("could not be read:")).size(), 3);
    EXPECT_TRUE(lines.contains(QStringLiteral("2 more folders could not be read.")))
        << lines.join('\n').toStdString();
}

} // namespace
} // namespace a3
