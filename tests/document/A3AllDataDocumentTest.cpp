// The bank document: reading and saving files, the chain-ID field, and which
// commands it enables in which state.

#include "DocumentFixtures.h"
#include "Isolation.h"
#include "PatchClipboard.h"
#include "PatchTableModel.h"
#include "TableView.h"

#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::qPath;
using test::ShownDocument;
using test::toQByteArray;

void rename(A3AllDataDocument& document, int row, const char* name)
{
    document.tableModel().setObjectValue(QString::fromUtf8(name), QStringLiteral("name"), row);
}

TEST(A3AllDataDocument, RefusesABadFileWithInvalidDataAndKeepsItsBank)
{
    ShownDocument shown;
    DocumentError error;
    EXPECT_FALSE(shown.document->readFromData(QByteArray(kAllDataFileSize - 1, 0), {}, &error));
    EXPECT_EQ(QStringLiteral("org.a3librarian.A3Librarian"), error.domain);
    EXPECT_EQ(1, error.code);
    EXPECT_EQ(QStringLiteral("Invalid Data"), error.description);
    EXPECT_FALSE(shown.document->readFromData(QByteArray(5, 'x'), {}, nullptr));
    EXPECT_EQ("Clean  ", shown.document->dataSource().patchNameAt(0));
    EXPECT_EQ(QStringLiteral("Chain ID: df2c"), shown.document->chainIdLabel()->text());
}

TEST(A3AllDataDocument, ChainIdShowsTheStoredChecksumAfterReadingAndTheComputedOneAfterSaving)
{
    A3AllDataDocument fallback{std::filesystem::path{"/nonexistent"}};
    const std::unique_ptr<QWidget> content(fallback.makeWindowContent());
    EXPECT_EQ(QStringLiteral("Chain ID: 0000"), fallback.chainIdLabel()->text());

    ShownDocument shown;
    shown.table().scrollToBottom();
    const int scrolled = shown.table().verticalScrollBar()->value();
    shown.selectRows({60});
    auto file = test::wellFormedAllDataFile();
    std::copy_n(std::array<std::uint8_t, 4>{0xF, 0xA, 0x0, 0x0}.begin(), 4, file.begin() + 16389);
    ASSERT_TRUE(shown.document->readFromData(toQByteArray(file), {}, nullptr));
    EXPECT_EQ(QStringLiteral("Chain ID: 00af"), shown.document->chainIdLabel()->text());
    // The rows stay where the user left them, and so does the selection.
    EXPECT_EQ(scrolled, shown.table().verticalScrollBar()->value());
    EXPECT_EQ((QList<qint64>{60}), shown.table().selectedRowIndexes());

    const QByteArray saved = shown.document->dataOfType({}, nullptr);
    fallback.readFromData(saved, {}, nullptr); // shows what the saved file stores
    EXPECT_NE(QStringLiteral("Chain ID: 00af"), shown.document->chainIdLabel()->text());
    EXPECT_EQ(fallback.chainIdLabel()->text(), shown.document->chainIdLabel()->text());
}

TEST(A3AllDataDocument, SaveAndRevertFollowTheEditedStateAndTheFile)
{
    test::TempDir dir;
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;
    const auto enabled = [&] {
        return std::pair{document.validateMenuItem(MenuAction::Save),
                         document.validateMenuItem(MenuAction::Revert)};
    };
    EXPECT_EQ(std::pair(true, false), enabled()); // new, unchanged
    rename(document, 0, "Edit");
    EXPECT_EQ(std::pair(true, false), enabled()); // new, changed
    ASSERT_EQ(Document::SaveOutcome::Saved,
              document.saveToURL(QUrl::fromLocalFile(qPath(dir / "bank.syx")), nullptr));
    EXPECT_EQ(std::pair(false, false), enabled()); // stored, unchanged
    rename(document, 0, "Again");
    EXPECT_EQ(std::pair(true, true), enabled()); // stored, changed
    ASSERT_TRUE(document.revertToSaved(nullptr));
    EXPECT_EQ(std::pair(false, false), enabled());
    EXPECT_EQ("Edit   ", document.dataSource().patchNameAt(0));
    EXPECT_TRUE(document.validateMenuItem(MenuAction::Other));
}

TEST(A3AllDataDocument, CopyAndPasteNeedTheTableFocused)
{
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;
    QGuiApplication::clipboard()->setMimeData(document.writeRows({1}).release());
    shown.focusTable();
    shown.table().clearSelection();
    EXPECT_FALSE(document.validateMenuItem(MenuAction::Copy)); // nothing selected
    EXPECT_TRUE(document.validateMenuItem(MenuAction::Paste)); // no selection needed
    shown.selectRows({2, 5});
    EXPECT_TRUE(document.validateMenuItem(MenuAction::Copy));

    shown.table().edit(shown.table().model()->index(2, 2));
    QApplication::processEvents();
    ASSERT_NE(nullptr, shown.table().findChild<QLineEdit*>());
    EXPECT_FALSE(document.validateMenuItem(MenuAction::Copy)); // the editor has the focus
    EXPECT_FALSE(document.validateMenuItem(MenuAction::Paste));

    shown.focusTable();
    QGuiApplication::clipboard()->setText(QStringLiteral("just some text"));
    EXPECT_FALSE(document.validateMenuItem(MenuAction::Paste));
}

// Saving goes through the atomic write: a save that fails names the cause and
// leaves the old file whole and the document edited.
TEST(A3AllDataDocument, ASaveOntoAFullDiskKeepsTheOldFile)
{
    const auto folder = test::onSmallDisk("size=64k");
    if (!folder) {
        return;
    }
    A3AllDataDocument document{std::filesystem::path(A3_FACTORY_BANK_PATH)};
    const QUrl file = QUrl::fromLocalFile(qPath(*folder / "bank.syx"));
    ASSERT_EQ(Document::SaveOutcome::Saved, document.saveToURL(file, nullptr));
    const auto old = test::readBytes(*folder / "bank.syx");
    rename(document, 0, "New");
    test::fillUpTo(*folder, 4096); // less than a bank takes
    DocumentError error;
    EXPECT_EQ(Document::SaveOutcome::NotSaved, document.saveToURL(file, &error));
    EXPECT_EQ(QStringLiteral("No space left on device"), error.description);
    EXPECT_EQ(old, test::readBytes(*folder / "bank.syx"));
    EXPECT_TRUE(document.isDocumentEdited());
}

// A document whose content cannot be had must not replace its file.
class UnwritableDocument final : public Document
{
public:
    bool readFromData(const QByteArray&, const QString&, DocumentError*) override { return true; }
    QByteArray dataOfType(const QString&, DocumentError* error) override
    {
        *error = {QStringLiteral("test"), 7, QStringLiteral("No content")};
        return {};
    }
    qint64 maximumFileSize() const override { return 10; }
};

TEST(Document, ASaveWithoutContentLeavesTheFileAndTheEditedState)
{
    test::TempDir dir;
    test::writeBytes(dir / "kept", std::vector<std::uint8_t>{1, 2, 3});
    UnwritableDocument document;
    document.updateChangeCount(Document::ChangeDone);
    DocumentError error;
    EXPECT_EQ(Document::SaveOutcome::NotSaved,
              document.saveToURL(QUrl::fromLocalFile(qPath(dir / "kept")), &error));
    EXPECT_EQ(QStringLiteral("No content"), error.description);
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), test::readBytes(dir / "kept"));
    EXPECT_TRUE(document.isDocumentEdited());
    EXPECT_TRUE(document.fileURL().isEmpty());
}

} // namespace
} // namespace a3
