// Moving patches: copy and paste through the real clipboard, and drops sent
// to the table's viewport as a drag would deliver them.

#include "DocumentFixtures.h"
#include "PasteboardTypes.h"
#include "PatchTableModel.h"
#include "TableView.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QScreen>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::ShownDocument;

std::vector<std::uint8_t> patch(const A3AllDataDocument& document, int row)
{
    return document.dataSource().patchDataAt(row);
}

std::vector<std::vector<std::uint8_t>> allPatches(const A3AllDataDocument& document)
{
    std::vector<std::vector<std::uint8_t>> patches;
    for (int row = 0; row < 100; ++row) {
        patches.push_back(patch(document, row));
    }
    return patches;
}

void setChain(A3AllDataDocument& document, int row, std::uint8_t chain)
{
    auto image = document.dataSource().patchDataAt(row);
    image[0] = chain;
    document.dataSource().setPatchData(image, row);
}

// Copies rows of a shown document to the clipboard as Edit > Copy does.
void copyRows(ShownDocument& source, std::initializer_list<int> rows)
{
    source.focusTable();
    source.selectRows(rows);
    source.document->copy();
}

void putPayloadOnClipboard(const QByteArray& payload)
{
    auto* data = new QMimeData;
    data->setData(patchPasteboardType(), payload);
    QGuiApplication::clipboard()->setMimeData(data);
}

class CopyPaste : public ::testing::Test
{
protected:
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;

    void pasteWithSelection(std::initializer_list<int> rows)
    {
        shown.focusTable();
        shown.selectRows(rows);
        document.paste();
    }
};

TEST_F(CopyPaste, MatchingSelectionTakesThePatchesInRowOrder)
{
    const auto before = allPatches(document);
    copyRows(shown, {9, 2, 5});
    pasteWithSelection({41, 10, 40});
    EXPECT_EQ(before[2], patch(document, 10));
    EXPECT_EQ(before[5], patch(document, 40));
    EXPECT_EQ(before[9], patch(document, 41));
    EXPECT_EQ(before[11], patch(document, 11));
    EXPECT_TRUE(document.isDocumentEdited());
}

TEST_F(CopyPaste, OneSelectedRowTakesTheBlockWhenItFits)
{
    const auto before = allPatches(document);
    copyRows(shown, {2, 5, 9});

    pasteWithSelection({98}); // three patches from row 98 would run past row 99
    EXPECT_EQ(before, allPatches(document));
    EXPECT_FALSE(document.isDocumentEdited());

    pasteWithSelection({3, 4}); // two rows for three patches
    pasteWithSelection({});
    EXPECT_EQ(before, allPatches(document));
    EXPECT_FALSE(document.isDocumentEdited());

    pasteWithSelection({20});
    EXPECT_EQ(before[2], patch(document, 20));
    EXPECT_EQ(before[5], patch(document, 21));
    EXPECT_EQ(before[9], patch(document, 22));
    EXPECT_EQ(before[23], patch(document, 23));
    EXPECT_TRUE(document.isDocumentEdited());
}

TEST_F(CopyPaste, OnePatchReplacesExactlyTheSelectedRow)
{
    auto expected = allPatches(document);
    copyRows(shown, {0});
    pasteWithSelection({99});
    expected[99] = expected[0];
    EXPECT_EQ(expected, allPatches(document));
}

TEST_F(CopyPaste, OnlyWholePatchImagesCount)
{
    const auto before = allPatches(document);
    QByteArray payload;
    for (int row : {7, 8}) {
        const auto image = patch(document, row);
        payload.append(reinterpret_cast<const char*>(image.data()), 64);
    }
    putPayloadOnClipboard(payload + QByteArray(2, '\x55')); // 130 bytes: two patches
    pasteWithSelection({50});
    EXPECT_EQ(before[7], patch(document, 50));
    EXPECT_EQ(before[8], patch(document, 51));
    EXPECT_EQ(before[52], patch(document, 52));

    ShownDocument other;
    for (int size : {1, 63}) {
        putPayloadOnClipboard(QByteArray(size, '\x11'));
        for (auto rows : {std::initializer_list<int>{}, std::initializer_list<int>{4}}) {
            other.focusTable();
            other.selectRows(rows);
            other.document->paste();
            EXPECT_EQ(before, allPatches(*other.document)) << size;
            EXPECT_FALSE(other.document->isDocumentEdited()) << size;
        }
    }
}

TEST_F(CopyPaste, NothingHappensUnlessThePatchTableHasTheFocus)
{
    const auto before = allPatches(document);
    copyRows(shown, {1});
    shown.selectRows({30});
    document.chainIdLabel()->setFocusPolicy(Qt::StrongFocus);
    document.chainIdLabel()->setFocus();
    QApplication::processEvents();
    document.paste();
    EXPECT_EQ(before, allPatches(document));

    QGuiApplication::clipboard()->setText(QStringLiteral("unchanged"));
    document.copy();
    EXPECT_EQ(QStringLiteral("unchanged"), QGuiApplication::clipboard()->text());
}

TEST_F(CopyPaste, ChainLinkedPatchesOnlyGoToBanksWithTheSameChainId)
{
    setChain(document, 3, 130);
    const auto linked = patch(document, 3);
    copyRows(shown, {3, 4});
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(
        chainKeyedPasteboardType(document.dataSource().chainChecksum())));

    ShownDocument sameChain; // the same factory bank: the same chain ID
    sameChain.focusTable();
    EXPECT_TRUE(sameChain.document->validateMenuItem(MenuAction::Paste));
    sameChain.selectRows({60});
    sameChain.document->paste();
    EXPECT_EQ(linked, patch(*sameChain.document, 60));

    pasteWithSelection({70}); // the source bank itself
    EXPECT_EQ(linked, patch(document, 70));

    ShownDocument otherChain;
    A3AllData record = otherChain.document->dataSource().data();
    record.checksum[0] ^= 0x01;
    otherChain.document->dataSource().setData(record);
    const auto before = allPatches(*otherChain.document);
    otherChain.focusTable();
    EXPECT_FALSE(otherChain.document->validateMenuItem(MenuAction::Paste));
    otherChain.selectRows({60});
    otherChain.document->paste();
    EXPECT_EQ(before, allPatches(*otherChain.document));
    EXPECT_FALSE(otherChain.document->isDocumentEdited());
}

// What a drag delivers to the table's viewport: enter, move, drop.
struct DropResult
{
    bool offered = false;  // the table offered to take it
    bool accepted = false; // the drop was taken
};

DropResult dropOnto(TableView& table, const QMimeData* data, QPoint position)
{
    QWidget* viewport = table.viewport();
    QDragEnterEvent enter(position, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(position, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    DropResult result{move.isAccepted() && move.dropAction() == Qt::CopyAction};
    if (!result.offered) {
        return result;
    }
    QDropEvent drop(QPointF(position), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    result.accepted = drop.isAccepted();

    return result;
}

QRect rowRect(TableView& table, int row)
{
    table.scrollTo(table.model()->index(row, 0));
    return table.visualRect(table.model()->index(row, 0));
}

std::unique_ptr<QMimeData> dragRows(TableView& table, std::initializer_list<int> rows)
{
    QModelIndexList indexes;
    for (int row : rows) {
        for (int column = 0; column < 3; ++column) {
            indexes.append(table.model()->index(row, column));
        }
    }
    return std::unique_ptr<QMimeData>(table.model()->mimeData(indexes));
}

TEST_F(CopyPaste, DragsAreCopiesOnly)
{
    EXPECT_EQ(Qt::CopyAction, document.tableModel().supportedDragActions());
    EXPECT_EQ(Qt::CopyAction, document.tableModel().supportedDropActions());
    const auto data = dragRows(shown.table(), {1});
    EXPECT_EQ((QStringList{"text/plain", patchPasteboardType()}), data->formats());
}

TEST_F(CopyPaste, DropsLandOnARowOrTheRowBelowAGap)
{
    const auto before = allPatches(document);
    const auto data = dragRows(shown.table(), {0, 1});

    const QRect row4 = rowRect(shown.table(), 4);
    EXPECT_TRUE(
        dropOnto(shown.table(), data.get(), {row4.center().x(), row4.bottom() - 1}).accepted);
    EXPECT_EQ(before[0], patch(document, 5));
    EXPECT_EQ(before[1], patch(document, 6));
    EXPECT_EQ(before[4], patch(document, 4));

    const QRect row30 = rowRect(shown.table(), 30);
    EXPECT_TRUE(dropOnto(shown.table(), data.get(), row30.center()).accepted);
    EXPECT_EQ(before[0], patch(document, 30));
    EXPECT_EQ(before[1], patch(document, 31));
    EXPECT_TRUE(document.isDocumentEdited());
}

TEST_F(CopyPaste, DraggingRowsOntoTheirOwnBlockUsesTheRowsAsDragged)
{
    const auto before = allPatches(document);
    const auto data = dragRows(shown.table(), {0, 1});
    EXPECT_TRUE(dropOnto(shown.table(), data.get(), rowRect(shown.table(), 1).center()).accepted);
    EXPECT_EQ(before[0], patch(document, 0));
    EXPECT_EQ(before[0], patch(document, 1));
    EXPECT_EQ(before[1], patch(document, 2));
}

TEST_F(CopyPaste, ADropBelowTheLastRowTargetsRow99)
{
    // Tall enough to leave empty space below the last row.
    shown.window.resize(500, 100 * shown.table().rowHeight(0) + 400);
    QApplication::processEvents();
    const QRect last = rowRect(shown.table(), 99);
    const QPoint below(last.center().x(), last.bottom() + 40);
    ASSERT_LT(below.y(), shown.table().viewport()->height());

    const auto before = allPatches(document);
    const auto two = dragRows(shown.table(), {0, 1});
    const DropResult refused = dropOnto(shown.table(), two.get(), below);
    EXPECT_TRUE(refused.offered);
    EXPECT_FALSE(refused.accepted); // two patches do not fit at row 99
    EXPECT_EQ(before, allPatches(document));
    EXPECT_FALSE(document.isDocumentEdited());

    const auto one = dragRows(shown.table(), {0});
    EXPECT_TRUE(dropOnto(shown.table(), one.get(), below).accepted);
    EXPECT_EQ(before[0], patch(document, 99));
}

TEST_F(CopyPaste, PlainTextFromAnotherProgramIsOfferedButChangesNothing)
{
    const auto before = allPatches(document);
    QMimeData text;
    text.setText(QStringLiteral("Hello from an editor"));
    const DropResult result = dropOnto(shown.table(), &text, rowRect(shown.table(), 10).center());
    EXPECT_TRUE(result.offered);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(before, allPatches(document));
    EXPECT_FALSE(document.isDocumentEdited());

    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/bank.syx"))});
    file.setText(QStringLiteral("/tmp/bank.syx"));
    EXPECT_FALSE(dropOnto(shown.table(), &file, rowRect(shown.table(), 10).center()).offered);
}

TEST_F(CopyPaste, TheTextFormAloneCarriesPatchesBetweenDocuments)
{
    const auto source = allPatches(document);
    const auto data = dragRows(shown.table(), {10, 11});
    QMimeData asText; // what another program hands back after taking the text
    asText.setText(data->text());

    ShownDocument target;
    EXPECT_TRUE(dropOnto(target.table(), &asText, rowRect(target.table(), 50).center()).accepted);
    EXPECT_EQ(source[10], patch(*target.document, 50));
    EXPECT_EQ(source[11], patch(*target.document, 51));
    EXPECT_FALSE(document.isDocumentEdited()); // the source never changes
}

// What the screen shows of the window: the backing store, repainted only
// where the view was told that something changed.
QImage onScreen(QWidget& window)
{
    QApplication::processEvents();
    return window.screen()->grabWindow(window.winId()).toImage();
}

// The window as painted from scratch now, the truth to compare with.
QImage paintedAfresh(QWidget& window)
{
    return window.grab().toImage().convertToFormat(onScreen(window).format());
}

TEST_F(CopyPaste, TheTableShowsWhatAPasteADropAndARevertWrote)
{
    test::TempDir dir;
    ASSERT_TRUE(document.saveToURL(QUrl::fromLocalFile(test::qPath(dir / "bank.syx")), nullptr));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
    // A block onto one selected row: the rows under it change without a
    // change of selection that would repaint them anyway.
    copyRows(shown, {9, 10, 11});
    shown.selectRows({1});
    onScreen(shown.window);
    document.paste();
    ASSERT_EQ(patch(document, 11), patch(document, 3));
    EXPECT_EQ(paintedAfresh(shown.window), onScreen(shown.window));

    const auto data = dragRows(shown.table(), {12, 13, 14});
    ASSERT_TRUE(dropOnto(shown.table(), data.get(), rowRect(shown.table(), 3).center()).accepted);
    EXPECT_EQ(paintedAfresh(shown.window), onScreen(shown.window));

    shown.selectRows({});
    shown.table().scrollToTop();
    ASSERT_TRUE(document.revertToSaved(nullptr));
    EXPECT_EQ(paintedAfresh(shown.window), onScreen(shown.window));
}

} // namespace
} // namespace a3
