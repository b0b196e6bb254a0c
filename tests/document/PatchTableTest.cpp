// The patch table model over a document: what its cells show, how a rename
// reaches the bank, and which rows it tells its views to refresh.

#include "DocumentFixtures.h"
#include "PatchTableModel.h"
#include "PatchText.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <set>

namespace a3 {
namespace {

using test::factoryDocument;

QString cell(const PatchTableModel& model, int row, const char* identifier,
             int role = Qt::DisplayRole)
{
    const int column = PatchTableModel::columnForIdentifier(QString::fromLatin1(identifier));
    return model.index(row, column).data(role).toString();
}

// The rows each dataChanged signal since the spy began covers, all columns
// of each.
std::set<int> refreshedRows(const PatchTableModel& model, const QSignalSpy& spy)
{
    std::set<int> rows;
    for (const QList<QVariant>& signal : spy) {
        const auto topLeft = signal.at(0).value<QModelIndex>();
        const auto bottomRight = signal.at(1).value<QModelIndex>();
        if (topLeft.column() == 0 && bottomRight.column() == model.columnCount() - 1) {
            for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                rows.insert(row);
            }
        }
    }
    return rows;
}

// Each row reads as the listing's line for the patch: the same number, chain
// text and name, control characters shown as '?'; the name editor gets the
// name as it is.
TEST(PatchTable, EveryRowShowsThePatchAsTheListingDoes)
{
    A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    std::vector<std::uint8_t> patch = bank.patchDataAt(7);
    patch[0] = 131;
    std::copy_n("Ta\tb\x7F  ", kPatchNameLength, patch.begin() + kPatchNameOffset);
    bank.setPatchData(patch, 7);
    A3AllDataDocument document(bank);
    const PatchTableModel model(document);
    ASSERT_EQ(100, model.rowCount());
    ASSERT_EQ(3, model.columnCount());
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_EQ(QMetaType::LongLong, model.index(row, 0).data().typeId());
        const QString line = QStringLiteral("%1 :  %2   : %3")
                                 .arg(cell(model, row, "number"), 3)
                                 .arg(cell(model, row, "chain"), cell(model, row, "name"));
        EXPECT_EQ(patchLine(row, bank.chainAtIndex(row), bank.patchNameAt(row)),
                  line.toStdString());
    }
    EXPECT_EQ(QStringLiteral("C3"), cell(model, 7, "chain"));
    EXPECT_EQ(QStringLiteral("Ta?b?  "), cell(model, 7, "name"));
    EXPECT_EQ(QStringLiteral("Ta\tb\x7F  "), cell(model, 7, "name", Qt::EditRole));
}

// A rename reaches the bank only when it stores other bytes; the number and
// chain cells take no edit.
TEST(PatchTable, ARenameIsAnEditOnlyWhenItStoresOtherBytes)
{
    const auto document = factoryDocument();
    PatchTableModel model(*document);
    const auto name = model.index(4, PatchTableModel::columnForIdentifier(QStringLiteral("name")));
    ASSERT_EQ(QStringLiteral("Metal  "), name.data().toString());
    EXPECT_FALSE(model.setData(name, QStringLiteral("Metal")));
    EXPECT_FALSE(model.setData(model.index(4, 0), QStringLiteral("Rock")));
    EXPECT_FALSE(document->isModified());
    EXPECT_TRUE(model.setData(name, QStringLiteral("Rock")));
    EXPECT_EQ(QStringLiteral("Rock   "), name.data().toString());
    EXPECT_EQ(QStringLiteral("Rename Patch 5"), document->undoStack().undoText());
}

// The view repaints only what it is told changed: every row after a reload,
// the edited rows, undone or redone, after an edit.
TEST(PatchTable, TellsItsViewsEveryRowThatChanged)
{
    test::TempDir dir;
    const auto document = factoryDocument();
    const QString file = test::qPath(dir / "bank.syx");
    ASSERT_TRUE(document->save(file).written());
    const PatchTableModel model(*document);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    document->renamePatch(40, QStringLiteral("Forty"));
    document->renamePatch(10, QStringLiteral("Ten"));
    document->undoStack().undo();
    EXPECT_EQ((std::set<int>{10, 40}), refreshedRows(model, changed));

    changed.clear();
    ASSERT_FALSE(document->reload());
    std::set<int> everyRow;
    for (int row = 0; row < 100; ++row) {
        everyRow.insert(row);
    }
    EXPECT_EQ(everyRow, refreshedRows(model, changed));
}

} // namespace
} // namespace a3
