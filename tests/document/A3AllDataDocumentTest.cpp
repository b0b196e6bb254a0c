// The bank document: reading and writing files, the chain-ID field, and which
// commands it enables in which state.

#include "DocumentFixtures.h"
#include "PasteboardTypes.h"
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

std::vector<std::uint8_t> fileWithStoredChainChecksum(std::uint16_t checksum)
{
    auto file = test::wellFormedAllDataFile();
    for (int nibble = 0; nibble < 4; ++nibble) {
        file[16389 + static_cast<std::size_t>(nibble)] =
            static_cast<std::uint8_t>((checksum >> (4 * nibble)) & 0x0F);
    }
    return file;
}

TEST(A3AllDataDocument, RefusesABadFileWithInvalidDataAndKeepsItsBank)
{
    ShownDocument shown;
    const QString chainId = shown.document->chainIdLabel()->text();
    auto headerOff = test::wellFormedAllDataFile();
    headerOff[4] = 0x41;
    for (const auto& bytes : {std::vector<std::uint8_t>(kAllDataFileSize - 1, 0), headerOff}) {
        DocumentError error;
        EXPECT_FALSE(shown.document->readFromData(toQByteArray(bytes), {}, &error));
        EXPECT_EQ(QStringLiteral("org.a3librarian.A3Librarian"), error.domain);
        EXPECT_EQ(1, error.code);
        EXPECT_EQ(QStringLiteral("Invalid Data"), error.description);
        EXPECT_EQ(QStringLiteral("Clean  "),
                  QString::fromStdString(shown.document->dataSource().patchNameAt(0)));
        EXPECT_EQ(chainId, shown.document->chainIdLabel()->text());
    }
    EXPECT_FALSE(shown.document->readFromData(QByteArray(5, 'x'), {}, nullptr));
}

TEST(A3AllDataDocument, ShowsTheStoredChainChecksumAndTheTopOfTheTableAfterReading)
{
    ShownDocument shown;
    shown.table().scrollToBottom();
    shown.selectRows({60});
    ASSERT_TRUE(shown.document->readFromData(toQByteArray(fileWithStoredChainChecksum(0x00AF)), {},
                                             nullptr));
    EXPECT_EQ(QStringLiteral("Chain ID: 00af"), shown.document->chainIdLabel()->text());
    EXPECT_EQ(0, shown.table().verticalScrollBar()->value());
    EXPECT_EQ((QList<qint64>{60}), shown.table().selectedRowIndexes()); // selection kept
}

TEST(A3AllDataDocument, NewDocumentShowsTheFactoryChainIdOr0000WithoutIt)
{
    ShownDocument shown;
    const auto checksum = shown.document->dataSource().chainChecksum();
    EXPECT_EQ(QStringLiteral("Chain ID: %1").arg(checksum, 4, 16, QLatin1Char('0')),
              shown.document->chainIdLabel()->text());

    A3AllDataDocument fallback{std::filesystem::path{"/nonexistent"}};
    QMainWindow window;
    window.setCentralWidget(fallback.makeWindowContent());
    EXPECT_EQ(QStringLiteral("Chain ID: 0000"), fallback.chainIdLabel()->text());
}

TEST(A3AllDataDocument, SavingShowsTheRecomputedChainId)
{
    ShownDocument shown;
    ASSERT_TRUE(shown.document->readFromData(toQByteArray(fileWithStoredChainChecksum(0x1234)), {},
                                             nullptr));
    EXPECT_EQ(QStringLiteral("Chain ID: 1234"), shown.document->chainIdLabel()->text());
    const QByteArray saved = shown.document->dataOfType({}, nullptr);
    EXPECT_EQ(static_cast<qsizetype>(kAllDataFileSize), saved.size());
    const auto computed = shown.document->dataSource().chainChecksum();
    EXPECT_NE(0x1234, computed);
    EXPECT_EQ(QStringLiteral("Chain ID: %1").arg(computed, 4, 16, QLatin1Char('0')),
              shown.document->chainIdLabel()->text());
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
    document.tableModel().setObjectValue(QStringLiteral("Edit"), QStringLiteral("name"), 0);
    EXPECT_EQ(std::pair(true, false), enabled()); // new, changed

    const QUrl file = QUrl::fromLocalFile(qPath(dir / "bank.syx"));
    ASSERT_TRUE(document.saveToURL(file, nullptr));
    EXPECT_EQ(std::pair(false, false), enabled()); // stored, unchanged
    document.tableModel().setObjectValue(QStringLiteral("Again"), QStringLiteral("name"), 0);
    EXPECT_EQ(std::pair(true, true), enabled()); // stored, changed

    ASSERT_TRUE(document.revertToSaved(nullptr));
    EXPECT_EQ(std::pair(false, false), enabled());
    EXPECT_EQ("Edit   ", document.dataSource().patchNameAt(0));
    EXPECT_TRUE(document.validateMenuItem(MenuAction::Other));
}

TEST(A3AllDataDocument, AFailedRevertChangesNothing)
{
    test::TempDir dir;
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;
    ASSERT_TRUE(document.saveToURL(QUrl::fromLocalFile(qPath(dir / "bank.syx")), nullptr));
    document.tableModel().setObjectValue(QStringLiteral("Kept"), QStringLiteral("name"), 3);
    test::writeBytes(dir / "bank.syx", std::vector<std::uint8_t>(10, 0xF0));

    DocumentError error;
    EXPECT_FALSE(document.revertToSaved(&error));
    EXPECT_EQ(QStringLiteral("Invalid Data"), error.description);
    EXPECT_TRUE(document.isDocumentEdited());
    EXPECT_EQ("Kept   ", document.dataSource().patchNameAt(3));
}

TEST(A3AllDataDocument, CopyAndPasteNeedTheTableFocused)
{
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;
    PatchClipboard clipboard(document.dataSource());
    QGuiApplication::clipboard()->setMimeData(clipboard.writeRows({1}).release());

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

// A document whose content cannot be had, to see that saving it fails cleanly.
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
    EXPECT_FALSE(document.saveToURL(QUrl::fromLocalFile(qPath(dir / "kept")), &error));
    EXPECT_EQ(QStringLiteral("No content"), error.description);
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), test::readBytes(dir / "kept"));
    EXPECT_TRUE(document.isDocumentEdited());
    EXPECT_TRUE(document.fileURL().isEmpty());
}

} // namespace
} // namespace a3
