// The patch table model over a document: what its cells show and how a rename
// reaches the bank. Which rows it refreshes shows on screen, in the window's
// test.

#include "DocumentFixtures.h"
#include "PatchTableModel.h"
#include "PatchText.h"

#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::factoryDocument;

QString cell(const PatchTableModel& model, int row, const char* identifier,
             int role = Qt::DisplayRole)
{
    const int column = PatchTableModel::columnForIdentifier(QString::fromLatin1(identifier));
    return model.index(row, column).data(role).toString();
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

// A rename reaches the bank only when it stores other bytes and comes as an
// edit; the number and chain cells take none.
TEST(PatchTable, ARenameIsAnEditOnlyWhenItStoresOtherBytes)
{
    const auto document = factoryDocument();
    PatchTableModel model(*document);
    const auto name = model.index(4, PatchTableModel::columnForIdentifier(QStringLiteral("name")));
    ASSERT_EQ(QStringLiteral("Metal  "), name.data().toString());
    EXPECT_FALSE(model.setData(name, QStringLiteral("Metal")));
    EXPECT_FALSE(model.setData(model.index(4, 0), QStringLiteral("Rock")));
    EXPECT_FALSE(model.setData(name, QStringLiteral("Rock"), Qt::DisplayRole));
    EXPECT_FALSE(document->isModified());
    EXPECT_TRUE(model.setData(name, QStringLiteral("Rock")));
    EXPECT_EQ(QStringLiteral("Rock   "), name.data().toString());
    EXPECT_EQ(QStringLiteral("Rename Patch 5"), document->undoStack().undoText());
}

} // namespace
} // namespace a3
