// The patch table as the user sees and edits it: cell values by column
// identifier, renaming in place and what it does to the edited state.

#include "DocumentFixtures.h"
#include "PatchTableModel.h"
#include "TableView.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::ShownDocument;

void setChain(A3AllDataDocument& document, int row, std::uint8_t chain)
{
    auto patch = document.dataSource().patchDataAt(row);
    patch[0] = chain;
    document.dataSource().setPatchData(patch, row);
}

QString cell(TableView& table, int row, const char* identifier)
{
    const int column = PatchTableModel::columnForIdentifier(QString::fromLatin1(identifier));
    return table.model()->index(row, column).data().toString();
}

// Opens the name editor the way a user does and types text into it.
void renameInPlace(ShownDocument& shown, int row, const QString& text)
{
    shown.focusTable();
    shown.table().setCurrentIndex(shown.table().model()->index(row, 0));
    QTest::keyClick(&shown.table(), Qt::Key_F2);
    auto* editor = shown.table().findChild<QLineEdit*>();
    ASSERT_NE(nullptr, editor) << "no name editor opened";
    editor->selectAll();
    editor->insert(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
}

TEST(PatchTable, ShowsNumbersAsNumbersAndChainsByTheDisplayRule)
{
    ShownDocument shown;
    const std::pair<std::uint8_t, const char*> chains[] = {{0, "00"},    {9, "09"},    {99, "99"},
                                                           {100, "100"}, {127, "127"}, {128, "C0"},
                                                           {130, "C2"},  {255, "C127"}};
    int row = 0;
    for (const auto& [chain, text] : chains) {
        setChain(*shown.document, row, chain);
        ++row;
    }
    shown.document->updateUI();
    row = 0;
    for (const auto& [chain, text] : chains) {
        EXPECT_EQ(QString::fromLatin1(text), cell(shown.table(), row, "chain")) << int(chain);
        ++row;
    }
    auto* model = shown.table().model();
    EXPECT_EQ(100, model->rowCount());
    const QVariant first = model->index(0, 0).data();
    EXPECT_EQ(QMetaType::LongLong, first.typeId());
    EXPECT_EQ(1, first.toLongLong());
    EXPECT_EQ(100, model->index(99, 0).data().toLongLong());
}

TEST(PatchTable, ColumnsAreKnownByTheirIdentifiersOnly)
{
    ShownDocument shown;
    auto& model = shown.document->tableModel();
    QStringList identifiers;
    for (int column = 0; column < model.columnCount(); ++column) {
        identifiers << PatchTableModel::columnIdentifier(column);
    }
    EXPECT_EQ((QStringList{"number", "chain", "name"}), identifiers);
    EXPECT_FALSE(model.objectValue(QStringLiteral("Name"), 0).isValid());
    EXPECT_FALSE(model.objectValue(QStringLiteral("patch"), 0).isValid());

    model.setObjectValue(QStringLiteral("Edited"), QStringLiteral("Name"), 0);
    model.setObjectValue(QStringLiteral("Edited"), QStringLiteral("chain"), 0);
    EXPECT_FALSE(shown.document->isDocumentEdited());
    EXPECT_EQ(QStringLiteral("Clean  "), model.objectValue(QStringLiteral("name"), 0).toString());
}

TEST(PatchTable, OnlyNamesAreEditable)
{
    ShownDocument shown;
    auto* model = shown.table().model();
    EXPECT_FALSE(model->flags(model->index(3, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model->flags(model->index(3, 1)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(model->flags(model->index(3, 2)).testFlag(Qt::ItemIsEditable));
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

    renameInPlace(shown, 5, QString::fromUtf8("Fuzz\u00e9Face"));
    EXPECT_EQ(QStringLiteral("Fuzz Fa"), cell(shown.table(), 5, "name"));
    EXPECT_EQ(chainIdBefore, shown.document->chainIdLabel()->text());
}

TEST(PatchTable, TypingStartsRenamingWhereverTheCursorIsInTheRow)
{
    ShownDocument shown;
    shown.focusTable();
    shown.table().setCurrentIndex(shown.table().model()->index(7, 0)); // number column
    QTest::keyClick(&shown.table(), 'S');
    auto* editor = shown.table().findChild<QLineEdit*>();
    ASSERT_NE(nullptr, editor);
    ASSERT_EQ(editor, QApplication::focusWidget()); // the rest of the typing goes there
    QTest::keyClicks(editor, QStringLiteral("olo"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(QStringLiteral("Solo   "), cell(shown.table(), 7, "name"));
    EXPECT_TRUE(shown.document->isDocumentEdited());
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
