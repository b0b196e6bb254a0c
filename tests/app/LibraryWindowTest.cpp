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
#include "Library.h"
#include "LibraryModel.h"
#include "TableView.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

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

class LibraryWindowTest : public test::WithWindows<test::FakePrompts>
{
protected:
    // Waits for the library's refresh in progress, or the next one.
    void waitForRefresh()
    {
        QSignalSpy refreshed(&controller.library(), &Library::refreshed);
        do {
            ASSERT_TRUE(refreshed.wait(10'000));
        } while (controller.library().isRefreshing());
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
    ASSERT_EQ(controller.library().addFolder(qPath(banks)), std::nullopt);
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

    // Patches that need the chain data of two different banks go nowhere.
    QApplication::clipboard()->clear();
    library.table().selectAll();
    library.copySelection();
    ASSERT_NE(test::shownMessageBox(QStringLiteral("cannot be copied together")), nullptr);
    test::rejectShownDialogs();
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
    controller.library().refresh();
    waitForRefresh();
    EXPECT_FALSE(column(library, LibraryModel::Name).contains(QStringLiteral("HallC  ")));

    // Saved from its window, or received from the device: found at once.
    shown->document().renamePatch(6, QStringLiteral("Saved"));
    ASSERT_FALSE(shown->document().save(qPath(banks / "a.syx")).reason.size());
    waitForRefresh();
    ASSERT_EQ(controller.library().keepReceivedBank(bankFile({{9, u"Hallway"}})), std::nullopt);
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
    EXPECT_EQ(library.model().index(received, LibraryModel::Bank).data(Qt::ToolTipRole).toString(),
              appData + QStringLiteral("/Received/") +
                  library.model().index(received, LibraryModel::Bank).data().toString());

    // A folder removed takes its banks out; the received banks stay.
    ASSERT_EQ(controller.library().removeFolder(qPath(banks)), std::nullopt);
    EXPECT_TRUE(controller.library().folders().isEmpty());
    waitForRefresh();
    library.searchField().setText(QStringLiteral("hall"));
    EXPECT_EQ(column(library, LibraryModel::Name), QStringList{QStringLiteral("Hallway")});
}

} // namespace
} // namespace a3
