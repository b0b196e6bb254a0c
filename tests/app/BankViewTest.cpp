// What a window shows of its bank, driven as a user does: renaming in place,
// selecting rows, drops delivered to the table's viewport, and the screen
// after each edit, undo and reload.

#include "BankView.h"

#include "AppTestSupport.h"
#include "DocumentFixtures.h"
#include "PatchTableModel.h"
#include "PatchText.h"
#include "TableView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::allPatches;
using test::dropOnto;
using test::Patches;

// A bank shown in an active top-level window, as the app shows it.
struct ShownBank
{
    explicit ShownBank(
        A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH))
        : document(std::make_unique<A3AllDataDocument>(std::move(bank)))
        , view(new BankView(*document))
    {
        window.setCentralWidget(view);
        window.resize(460, 640);
        window.show();
        QApplication::setActiveWindow(&window);
        (void)QTest::qWaitForWindowActive(&window);
    }
    ~ShownBank() { delete window.takeCentralWidget(); }

    TableView& table() { return view->table(); }

    // Opens the name editor the way a user does, types text over the name it
    // shows and presses Return; returns what the editor showed then.
    QString renameInPlace(int row, const QString& text)
    {
        table().setFocus();
        table().setCurrentIndex(table().model()->index(row, 0));
        QTest::keyClick(&table(), Qt::Key_F2);
        const int name = PatchTableModel::columnForIdentifier(QStringLiteral("name"));
        auto* editor =
            qobject_cast<QLineEdit*>(table().indexWidget(table().model()->index(row, name)));
        if (!editor) {
            ADD_FAILURE() << "no name editor opened";
            return {};
        }
        editor->selectAll();
        QTest::keyClicks(editor, text);
        const QString typed = editor->text();
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        return typed;
    }

    std::unique_ptr<A3AllDataDocument> document;
    QMainWindow window;
    BankView* view;
};

// The editor takes what the bank stores and no more, so that what it shows
// is what is stored; text that stores the same bytes is no edit, and bytes
// no edit could store stay until the user types a new name.
TEST(BankView, TheNameEditorShowsWhatWillBeStored)
{
    A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    std::vector<std::uint8_t> patch = bank.patchDataAt(7);
    std::copy_n("C\xE9\x01"
                "f\0  ",
                kPatchNameLength, patch.begin() + kPatchNameOffset);
    bank.setPatchData(patch, 7);
    ShownBank shown(bank);

    EXPECT_EQ(QStringLiteral("C  f"), shown.renameInPlace(7, {}));
    EXPECT_EQ(patch, shown.document->bank().patchDataAt(7));
    shown.renameInPlace(4, QStringLiteral("Metal")); // the stored name, unpadded
    EXPECT_FALSE(shown.document->isModified());

    EXPECT_EQ(QStringLiteral("berdriv"), shown.renameInPlace(5, QString::fromUtf8("Überdrive")));
    EXPECT_EQ("berdriv", shown.document->bank().patchNameAt(5));
    EXPECT_TRUE(shown.document->isModified());
}

TEST(BankView, SelectedRowsAreTheRowsWithASelectedCellOnceEachAscending)
{
    ShownBank shown;
    TableView& table = shown.table();
    const auto cells = [&](int top, int left, int bottom, int right) {
        return QItemSelection(table.model()->index(top, left), table.model()->index(bottom, right));
    };
    // Single cells and ranges that overlap, given in no order; the first and
    // the last row included.
    table.selectionModel()->select(cells(99, 2, 99, 2), QItemSelectionModel::ClearAndSelect);
    for (const QItemSelection& more :
         {cells(40, 0, 42, 0), cells(41, 1, 43, 2), cells(0, 1, 0, 1), cells(7, 0, 7, 2)}) {
        table.selectionModel()->select(more, QItemSelectionModel::Select);
    }
    EXPECT_EQ((QList<qint64>{0, 7, 40, 41, 42, 43, 99}), table.selectedRowIndexes());

    table.selectionModel()->clearSelection();
    EXPECT_TRUE(table.selectedRowIndexes().isEmpty());
}

// The chain ID as the bank holds it: the stored checksum after reading, the
// computed one after saving.
TEST(BankView, TheChainIdFollowsTheBank)
{
    test::TempDir dir;
    test::writeBytes(dir / "other.syx", test::wellFormedAllDataFile());
    ShownBank shown(A3AllDataSource::fallbackBank());
    EXPECT_EQ(QStringLiteral("Chain ID: 0000"), shown.view->chainIdLabel().text());
    ASSERT_TRUE(shown.document->load(test::qPath(dir / "other.syx")).ok());
    EXPECT_EQ(QString::fromStdString(chainIdText(shown.document->bank().chainChecksum())),
              shown.view->chainIdLabel().text());

    ShownBank fallback(A3AllDataSource::fallbackBank());
    ASSERT_TRUE(fallback.document->save(test::qPath(dir / "fallback.syx")).ok());
    EXPECT_EQ(QStringLiteral("Chain ID: f000"), fallback.view->chainIdLabel().text());
}

QRect rowRect(TableView& table, int row)
{
    table.scrollTo(table.model()->index(row, 0));
    return table.visualRect(table.model()->index(row, 0));
}

std::unique_ptr<QMimeData> dragRows(TableView& table, const std::vector<int>& rows)
{
    QModelIndexList indexes;
    for (int row : rows) {
        for (int column = 0; column < 3; ++column) {
            indexes.append(table.model()->index(row, column));
        }
    }
    return std::unique_ptr<QMimeData>(table.model()->mimeData(indexes));
}

// A drop lands on the row under it, the row below a gap, or row 99 below
// the last row, where a block that does not fit is refused; plain text is
// offered but changes nothing, and files pass the table by for the window.
TEST(BankView, DropsLandOnARowTheRowBelowAGapOrTheLastRow)
{
    ShownBank shown;
    TableView& table = shown.table();
    // Tall enough to leave empty space below the last row.
    shown.window.resize(500, 100 * table.rowHeight(0) + 400);
    QApplication::processEvents();
    const Patches before = allPatches(*shown.document);
    const auto two = dragRows(table, {0, 1});
    const QRect row4 = rowRect(table, 4);
    EXPECT_TRUE(dropOnto(table, two.get(), {row4.center().x(), row4.bottom() - 1}).accepted);
    EXPECT_TRUE(dropOnto(table, two.get(), rowRect(table, 30).center()).accepted);
    const QRect last = rowRect(table, 99);
    const QPoint below(last.center().x(), last.bottom() + 40);
    ASSERT_LT(below.y(), table.viewport()->height());
    const auto refused = dropOnto(table, two.get(), below);
    EXPECT_TRUE(refused.offered);
    EXPECT_FALSE(refused.accepted);
    EXPECT_TRUE(dropOnto(table, dragRows(table, {0}).get(), below).accepted);
    Patches expected = before;
    for (const auto& [row, from] :
         std::initializer_list<std::pair<int, int>>{{5, 0}, {6, 1}, {30, 0}, {31, 1}, {99, 0}}) {
        expected[static_cast<std::size_t>(row)] = before[static_cast<std::size_t>(from)];
    }
    EXPECT_EQ(expected, allPatches(*shown.document));
    EXPECT_EQ(3, shown.document->undoStack().count());

    QMimeData text;
    text.setText(QStringLiteral("Hello from an editor"));
    const auto textDrop = dropOnto(table, &text, rowRect(table, 10).center());
    EXPECT_TRUE(textDrop.offered);
    EXPECT_FALSE(textDrop.accepted);
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/bank.syx"))});
    file.setText(QStringLiteral("/tmp/bank.syx"));
    EXPECT_FALSE(dropOnto(table, &file, rowRect(table, 10).center()).offered);
    EXPECT_EQ(3, shown.document->undoStack().count());
}

// What the screen shows of the window (the backing store, repainted only
// where the view was told that something changed) is the window as painted
// from scratch now.
void expectScreenIsCurrent(QWidget& window)
{
    QApplication::processEvents();
    const QImage onScreen = window.screen()->grabWindow(window.winId()).toImage();
    EXPECT_EQ(window.grab().toImage().convertToFormat(onScreen.format()), onScreen);
}

// The screen shows what each edit wrote, its undo and its redo, with the
// rows it changed selected and in view, and what a reload read.
TEST(BankView, TheScreenShowsEveryEditItsUndoAndAReload)
{
    test::TempDir dir;
    ShownBank shown;
    A3AllDataDocument& document = *shown.document;
    TableView& table = shown.table();
    ASSERT_TRUE(document.save(test::qPath(dir / "bank.syx")).ok());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
    test::selectRows(table, {1});
    expectScreenIsCurrent(shown.window);
    ASSERT_TRUE(document.drop(dragRows(table, {9, 10, 11}).get(), 1));
    expectScreenIsCurrent(shown.window);
    EXPECT_EQ((QList<qint64>{1, 2, 3}), table.selectedRowIndexes());

    // Undo takes the user to the rows it changed, from wherever they were.
    table.setCurrentIndex(table.model()->index(90, 0));
    test::selectRows(table, {50});
    document.undoStack().undo();
    EXPECT_EQ((QList<qint64>{1, 2, 3}), table.selectedRowIndexes());
    EXPECT_EQ(1, table.currentIndex().row());
    EXPECT_TRUE(table.viewport()->rect().contains(table.visualRect(table.model()->index(1, 0))));
    expectScreenIsCurrent(shown.window);
    document.undoStack().redo();
    expectScreenIsCurrent(shown.window);

    test::selectRows(table, {});
    table.scrollToTop();
    ASSERT_TRUE(document.reload().ok());
    expectScreenIsCurrent(shown.window);
}

} // namespace
} // namespace a3
