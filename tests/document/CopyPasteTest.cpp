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

using Patches = std::vector<std::vector<std::uint8_t>>;

std::vector<std::uint8_t> patch(const A3AllDataDocument& document, int row)
{
    return document.dataSource().patchDataAt(row);
}

Patches allPatches(const A3AllDataDocument& document)
{
    Patches patches;
    for (int row = 0; row < 100; ++row) {
        patches.push_back(patch(document, row));
    }
    return patches;
}

// Edit > Copy and Edit > Paste with these rows selected.
void copyRows(ShownDocument& shown, const std::vector<int>& rows)
{
    shown.focusTable();
    shown.selectRows(rows);
    shown.document->copy();
}

void pasteOnto(ShownDocument& shown, const std::vector<int>& rows)
{
    shown.focusTable();
    shown.selectRows(rows);
    shown.document->paste();
}

void putPayloadOnClipboard(const QByteArray& payload)
{
    auto* data = new QMimeData;
    data->setData(patchPasteboardType(), payload);
    QGuiApplication::clipboard()->setMimeData(data);
}

TEST(Paste, TakesAsManyRowsAsPatchesOrTheBlockFromOneRowOrNothing)
{
    const struct
    {
        std::vector<int> copied, selected, landsOn; // landsOn empty: nothing pasted
    } cases[] = {
        {{9, 2, 5}, {41, 10, 40}, {10, 40, 41}}, // patches in row order onto rows in row order
        {{2, 5, 9}, {20}, {20, 21, 22}},
        {{0}, {99}, {99}},
        {{2, 5, 9}, {98}, {}}, // would run past row 99
        {{2, 5, 9}, {3, 4}, {}},
        {{2, 5, 9}, {}, {}},
    };
    for (const auto& [copied, selected, landsOn] : cases) {
        ShownDocument shown;
        const Patches before = allPatches(*shown.document);
        copyRows(shown, copied);
        pasteOnto(shown, selected);
        std::vector<int> sources = copied;
        std::sort(sources.begin(), sources.end());
        Patches expected = before;
        for (std::size_t i = 0; i < landsOn.size(); ++i) {
            expected[static_cast<std::size_t>(landsOn[i])] =
                before[static_cast<std::size_t>(sources[i])];
        }
        EXPECT_EQ(expected, allPatches(*shown.document))
            << copied.size() << " onto " << selected.size();
        EXPECT_EQ(!landsOn.empty(), shown.document->isDocumentEdited());
    }
}

TEST(Paste, OnlyWholePatchImagesCountAndOnlyWhileTheTableHasTheFocus)
{
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;
    Patches expected = allPatches(document);
    for (int size : {1, 63}) {
        putPayloadOnClipboard(QByteArray(size, '\x11'));
        pasteOnto(shown, {4});
    }
    EXPECT_EQ(expected, allPatches(document));
    EXPECT_FALSE(document.isDocumentEdited());

    putPayloadOnClipboard(QByteArray(130, '\x55')); // two patches and two bytes
    shown.selectRows({30});
    document.chainIdLabel()->setFocusPolicy(Qt::StrongFocus);
    document.chainIdLabel()->setFocus();
    QApplication::processEvents();
    document.paste();
    document.copy();
    EXPECT_EQ(130, QGuiApplication::clipboard()->mimeData()->data(patchPasteboardType()).size());
    EXPECT_EQ(expected, allPatches(document));

    pasteOnto(shown, {50});
    expected[50] = expected[51] = std::vector<std::uint8_t>(64, 0x55);
    EXPECT_EQ(expected, allPatches(document));
}

TEST(Paste, ChainLinkedPatchesOnlyGoToBanksWithTheSameChainId)
{
    ShownDocument source;
    auto linked = patch(*source.document, 3);
    linked[0] = 130;
    source.document->dataSource().setPatchData(linked, 3);
    copyRows(source, {3, 4});

    ShownDocument sameChain; // the same factory bank: the same chain ID
    sameChain.focusTable();
    EXPECT_TRUE(sameChain.document->validateMenuItem(MenuAction::Paste));
    pasteOnto(sameChain, {60});
    EXPECT_EQ(linked, patch(*sameChain.document, 60));

    ShownDocument otherChain;
    A3AllData record = otherChain.document->dataSource().data();
    record.checksum[0] ^= 0x01;
    otherChain.document->dataSource().setData(record);
    const Patches before = allPatches(*otherChain.document);
    otherChain.focusTable();
    EXPECT_FALSE(otherChain.document->validateMenuItem(MenuAction::Paste));
    pasteOnto(otherChain, {60});
    EXPECT_EQ(before, allPatches(*otherChain.document));
    EXPECT_FALSE(otherChain.document->isDocumentEdited());
}

// Every window asks the one offer whether it may paste: it reads the
// clipboard once after each change, not at each question.
TEST(ClipboardOfferTest, ReadsTheClipboardOnceAfterEachChange)
{
    ShownDocument shown;
    QClipboard* clipboard = QGuiApplication::clipboard();
    shown.document->setClipboardOffer(std::make_shared<ClipboardOffer>(clipboard));
    shown.focusTable();
    clipboard->setText(QStringLiteral("not patches"));
    EXPECT_FALSE(shown.document->validateMenuItem(MenuAction::Paste));
    // Changed behind the clipboard's back: the offer read before stands.
    const_cast<QMimeData*>(clipboard->mimeData())
        ->setData(patchPasteboardType(), QByteArray(64, 1));
    EXPECT_FALSE(shown.document->validateMenuItem(MenuAction::Paste));
    putPayloadOnClipboard(QByteArray(64, 1));
    EXPECT_TRUE(shown.document->validateMenuItem(MenuAction::Paste));
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

class Drops : public ::testing::Test
{
protected:
    ShownDocument shown;
    A3AllDataDocument& document = *shown.document;
};

TEST_F(Drops, LandOnARowOrTheRowBelowAGapAndCarryTheRowsAsDragged)
{
    const auto before = allPatches(document);
    const auto data = dragRows(shown.table(), {0, 1});
    const QRect row4 = rowRect(shown.table(), 4);
    EXPECT_TRUE(
        dropOnto(shown.table(), data.get(), {row4.center().x(), row4.bottom() - 1}).accepted);
    EXPECT_TRUE(dropOnto(shown.table(), data.get(), rowRect(shown.table(), 30).center()).accepted);
    EXPECT_TRUE(dropOnto(shown.table(), data.get(), rowRect(shown.table(), 1).center()).accepted);
    Patches expected = before;
    for (const auto& [row, from] : std::initializer_list<std::pair<int, int>>{
             {5, 0}, {6, 1}, {30, 0}, {31, 1}, {1, 0}, {2, 1}}) {
        expected[static_cast<std::size_t>(row)] = before[static_cast<std::size_t>(from)];
    }
    EXPECT_EQ(expected, allPatches(document));
}

TEST_F(Drops, ADropBelowTheLastRowTargetsRow99)
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

TEST_F(Drops, PlainTextFromAnotherProgramIsOfferedButChangesNothing)
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

TEST_F(Drops, TheTextFormAloneCarriesPatchesBetweenDocuments)
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

TEST_F(Drops, TheTableShowsWhatAPasteADropAndARevertWrote)
{
    test::TempDir dir;
    ASSERT_EQ(Document::SaveOutcome::Saved,
              document.saveToURL(QUrl::fromLocalFile(test::qPath(dir / "bank.syx")), nullptr));
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
