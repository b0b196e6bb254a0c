// The patch table as the user sees and edits it: cell values, renaming in
// place and what it does to the edited state, the selected rows.

#include "DocumentFixtures.h"
#include "PatchTableModel.h"
#include "TableView.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::ShownDocument;

QString cell(TableView& table, int row, const char* identifier)
{
    const int column = PatchTableModel::columnForIdentifier(QString::fromLatin1(identifier));
    return table.model()->index(row, column).data().toString();
}

// Opens the name editor the way a user does, types text into it over the
// name it shows and presses Return; returns what the editor showed then.
QString renameInPlace(ShownDocument& shown, int row, const QString& text)
{
    shown.focusTable();
    shown.table().setCurrentIndex(shown.table().model()->index(row, 0));
    QTest::keyClick(&shown.table(), Qt::Key_F2);
    auto* editor = shown.table().findChild<QLineEdit*>();
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

// Numbers as numbers, so that the table sorts and copies them as such; the
// chain column's text is the bank's own rule.
TEST(PatchTable, ShowsOneHundredRowsNumberedFromOne)
{
    ShownDocument shown;
    auto* model = shown.table().model();
    EXPECT_EQ(100, model->rowCount());
    EXPECT_EQ(QMetaType::LongLong, model->index(0, 0).data().typeId());
    EXPECT_EQ(1, model->index(0, 0).data().toLongLong());
    EXPECT_EQ(100, model->index(99, 0).data().toLongLong());
    EXPECT_EQ(QStringLiteral("37"), cell(shown.table(), 1, "chain"));
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column) {
        headers << model->headerData(column, Qt::Horizontal).toString();
    }
    EXPECT_EQ((QStringList{QStringLiteral("#"), QStringLiteral("Chain"), QStringLiteral("Name")}),
              headers);
}

TEST(PatchTable, RenameInPlaceMarksTheDocumentEditedOnlyWhenTheTextDiffers)
{
    ShownDocument shown;
    const QString chainIdBefore = shown.document->chainIdLabel()->text();

    renameInPlace(shown, 4, QStringLiteral("Metal  ")); // the stored text, spaces and all
    EXPECT_FALSE(shown.document->isDocumentEdited());

    renameInPlace(shown, 4, QStringLiteral("Metal")); // same bytes once padded, other text
    EXPECT_TRUE(shown.document->isDocumentEdited());
    EXPECT_EQ(QStringLiteral("Metal  "), cell(shown.table(), 4, "name"));

    EXPECT_EQ(chainIdBefore, shown.document->chainIdLabel()->text());
}

// The editor takes what the bank stores and no more, so that what it shows
// is what is stored.
TEST(PatchTable, TheNameEditorShowsWhatWillBeStored)
{
    ShownDocument shown;
    EXPECT_EQ(QStringLiteral("berdriv"), renameInPlace(shown, 5, QString::fromUtf8("Überdrive")));
    EXPECT_EQ(QStringLiteral("berdriv"), cell(shown.table(), 5, "name"));
}

// Bytes a name holds that no edit could store (from another program, say)
// stay as they are until the user types a new name; the editor shows them as
// the spaces an edit would store.
TEST(PatchTable, ANameEditedWithoutTypingKeepsItsBytes)
{
    ShownDocument shown;
    A3AllDataSource& bank = shown.document->dataSource();
    std::vector<std::uint8_t> patch = bank.patchDataAt(7);
    const std::uint8_t name[kPatchNameLength] = {'C', 0xE9, 0x01, 'f', 0, ' ', ' '};
    std::copy(std::begin(name), std::end(name), patch.begin() + kPatchNameOffset);
    bank.setPatchData(patch, 7);
    const std::vector<std::uint8_t> before = bank.syxData();

    EXPECT_EQ(QStringLiteral("C  f"), renameInPlace(shown, 7, {}));
    EXPECT_EQ(before, bank.syxData());
    EXPECT_FALSE(shown.document->isDocumentEdited());
}

TEST(PatchTable, SelectedRowsAreTheRowsWithASelectedCellOnceEachAscending)
{
    ShownDocument shown;
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

} // namespace
} // namespace a3
