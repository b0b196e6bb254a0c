// The bank document without any window: files in and out, the modified
// state, and every edit as one undo step.

#include "ClipboardOffer.h"
#include "DocumentFixtures.h"
#include "PasteboardTypes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::allPatches;
using test::factoryDocument;
using test::Patches;
using test::qPath;

void putOnClipboard(std::unique_ptr<QMimeData> data)
{
    QGuiApplication::clipboard()->setMimeData(data.release());
}

std::unique_ptr<QMimeData> payload(const QByteArray& bytes)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(patchPasteboardType(), bytes);
    return data;
}

// A file that is no bank is refused with the reader's reason, and the
// document stays as it was: its bank, its file, its edits.
TEST(Document, RefusesWhatIsNoBankWithTheReadersReasonAndKeepsEverything)
{
    test::TempDir dir;
    test::writeBytes(dir / "short", std::vector<std::uint8_t>(kAllDataFileSize - 1, 0));
    test::writeBytes(dir / "long", std::vector<std::uint8_t>(kAllDataFileSize + 1, 0));
    const struct
    {
        const char* file;
        QString reason, detail;
    } cases[] = {
        {"short", "Invalid Data", "wrong length: 29197 bytes, expected 29198"},
        {"long", "Invalid Data", "wrong length: 29199 bytes, expected 29198"},
        {"none", "No such file or directory", ""},
    };
    const auto document = factoryDocument();
    ASSERT_TRUE(document->renamePatch(0, QStringLiteral("Mine")));
    const Patches before = allPatches(*document);
    for (const auto& [file, reason, detail] : cases) {
        const Result<void, FileProblem> loaded = document->load(qPath(dir / file));
        ASSERT_FALSE(loaded.ok()) << file;
        EXPECT_EQ(reason, loaded.failure().reason) << file;
        EXPECT_EQ(detail, loaded.failure().detail) << file;
        EXPECT_EQ(before, allPatches(*document)) << file;
        EXPECT_TRUE(document->filePath().isEmpty()) << file;
        EXPECT_TRUE(document->isModified()) << file;
        EXPECT_EQ(1, document->undoStack().count()) << file;
    }
}

// Modified is away from what was saved, whichever way the stack went there;
// the file changes only when saved, and a save that fails changes nothing.
TEST(Document, IsModifiedWhileItsUndoStackIsAwayFromTheSavedState)
{
    test::TempDir dir;
    const QString file = qPath(dir / "bank.syx");
    const auto document = factoryDocument();
    QUndoStack& stack = document->undoStack();
    QSignalSpy modified(document.get(), &A3AllDataDocument::modificationChanged);
    EXPECT_TRUE(document->renamePatch(0, QStringLiteral("First")));
    ASSERT_TRUE(document->save(file).ok());
    const auto saved = test::readBytes(dir / "bank.syx");
    EXPECT_TRUE(document->renamePatch(1, QStringLiteral("Second")));
    EXPECT_TRUE(document->isModified());
    stack.undo();
    EXPECT_FALSE(document->isModified());
    stack.undo(); // before the save
    EXPECT_TRUE(document->isModified());
    stack.redo();
    EXPECT_FALSE(document->isModified());
    const QList<QList<QVariant>> states{{true}, {false}, {true}, {false}, {true}, {false}};
    EXPECT_EQ(states, static_cast<const QList<QList<QVariant>>&>(modified));
    EXPECT_EQ(saved, test::readBytes(dir / "bank.syx"));

    // The file anew: the edits made to the bank that was are gone.
    EXPECT_TRUE(document->renamePatch(2, QStringLiteral("Third")));
    ASSERT_TRUE(document->reload().ok());
    EXPECT_FALSE(document->isModified());
    EXPECT_EQ(0, stack.count());
    EXPECT_EQ("First  ", document->bank().patchNameAt(0));

    // A bank from elsewhere is modified with nothing to undo, until saved.
    document->setModified();
    EXPECT_TRUE(document->isModified());
    EXPECT_FALSE(stack.canUndo());
    const WriteResult failed = document->save(qPath(dir / "missing" / "bank.syx"));
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ("No such file or directory", failed.failure().reason);
    EXPECT_TRUE(document->isModified());
    EXPECT_EQ(file, document->filePath());
    ASSERT_TRUE(document->save(file).ok());
    EXPECT_FALSE(document->isModified());
}

// Every kind of edit, with its undo and its redo. The rows it lands on are
// the paste rules'; undo puts back the exact bytes of every row, redo the
// edit's, and the document says which rows each time. A refused edit pushes
// nothing.
TEST(Document, EveryEditIsOneUndoStepThatRestoresTheBytesItCovers)
{
    const auto source = factoryDocument();
    using Edit = std::function<bool(A3AllDataDocument&)>;
    const auto pasted = [&](const QList<qint64>& copied, const QList<qint64>& selected) -> Edit {
        return [&, copied, selected](A3AllDataDocument& d) {
            putOnClipboard(source->writeRows(copied));
            return d.paste(selected);
        };
    };
    const auto dropped = [&](const QList<qint64>& dragged, qint64 row) -> Edit {
        return [&, dragged, row](A3AllDataDocument& d) {
            return d.drop(source->writeRows(dragged).get(), row);
        };
    };
    using Rows = QList<qint64>;
    const Rows ten{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Rows teens{10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const auto dropText = [](const QString& text, qint64 row) {
        return [text, row](A3AllDataDocument& d) {
            QMimeData data;
            data.setText(text);
            return d.drop(&data, row);
        };
    };
    const std::pair<const char*, Edit> refused[] = {
        {"rename to the same bytes", [](auto& d) { return d.renamePatch(4, "Metal"); }},
        {"block past the last row", pasted({2, 5, 9}, {98})},
        {"fewer rows than patches", pasted({2, 5, 9}, {3, 4})},
        {"no row selected", pasted({2}, {})},
        {"drop past the last row", dropped({0, 1}, 99)},
        {"part of a patch",
         [](auto& d) { return putOnClipboard(payload(QByteArray(63, 1))), d.paste({4}); }},
        {"plain text", dropText(QStringLiteral("Hello from an editor"), 10)},
    };
    for (const auto& [what, edit] : refused) {
        SCOPED_TRACE(what);
        const auto document = factoryDocument();
        const Patches before = allPatches(*document);
        EXPECT_FALSE(edit(*document));
        EXPECT_EQ(0, document->undoStack().count());
        EXPECT_FALSE(document->isModified());
        EXPECT_EQ(before, allPatches(*document));
    }

    const struct
    {
        const char* what;
        QString undoText;
        Rows rows; // edited
        Rows from; // the source row each edited row takes; none for the rename
        Edit edit;
    } cases[] = {
        {"rename", "Rename Patch 12", Rows{11}, Rows{},
         [](auto& d) { return d.renamePatch(11, QStringLiteral("Hall")); }},
        {"paste onto as many rows", "Paste 3 Patches", Rows{10, 40, 41}, Rows{2, 5, 9},
         pasted({9, 2, 5}, {10, 40, 41})},
        {"paste ten as a block", "Paste 10 Patches", ten, teens, pasted(teens, {0})},
        {"paste one onto the last row", "Paste 1 Patch", Rows{99}, Rows{0}, pasted({0}, {99})},
        {"drop", "Drop 2 Patches", Rows{98, 99}, Rows{0, 1}, dropped({0, 1}, 98)},
        {"drop of the text form alone", "Drop 1 Patch", Rows{50}, Rows{3},
         dropText(source->writeRows({3})->text(), 50)},
    };
    const Patches sourcePatches = allPatches(*source);
    for (const auto& [what, undoText, rows, from, edit] : cases) {
        SCOPED_TRACE(what);
        const auto document = factoryDocument();
        QSignalSpy edited(document.get(), &A3AllDataDocument::patchesEdited);
        const Patches before = allPatches(*document);
        EXPECT_TRUE(edit(*document));
        const Patches after = allPatches(*document);
        Patches expected = before;
        for (qsizetype i = 0; i < from.size(); ++i) {
            expected[static_cast<std::size_t>(rows[i])] =
                sourcePatches[static_cast<std::size_t>(from[i])];
        }
        if (from.isEmpty()) { // the rename
            std::copy_n("Hall   ", kPatchNameLength, expected[11].begin() + kPatchNameOffset);
        }
        EXPECT_EQ(expected, after);
        EXPECT_EQ(undoText, document->undoStack().undoText());
        EXPECT_TRUE(document->isModified());

        document->undoStack().undo();
        EXPECT_EQ(before, allPatches(*document));
        EXPECT_FALSE(document->isModified());
        document->undoStack().redo();
        EXPECT_EQ(after, allPatches(*document));
        EXPECT_TRUE(document->isModified());
        ASSERT_EQ(3, edited.count());
        for (const QList<QVariant>& signal : edited) {
            EXPECT_EQ(rows, signal.front().value<QList<qint64>>());
        }
    }
}

// Patches that use chain data carry their bank's chain ID and go only to a
// bank with the same one.
TEST(Document, ChainLinkedPatchesOnlyGoToBanksWithTheSameChainId)
{
    A3AllDataSource linkedBank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    auto linked = linkedBank.patchDataAt(3);
    linked[0] = 130;
    linkedBank.setPatchData(linked, 3);
    const A3AllDataDocument source(linkedBank);
    putOnClipboard(source.writeRows({3, 4}));

    const auto sameChain = factoryDocument();
    EXPECT_TRUE(sameChain->isPastable());
    EXPECT_TRUE(sameChain->paste({60}));
    EXPECT_EQ(linked, sameChain->bank().patchDataAt(60));

    test::TempDir dir;
    test::writeBytes(dir / "other.syx", test::wellFormedAllDataFile());
    A3AllDataDocument otherChain;
    ASSERT_TRUE(otherChain.load(qPath(dir / "other.syx")).ok());
    ASSERT_NE(source.bank().chainChecksum(), otherChain.bank().chainChecksum());
    EXPECT_FALSE(otherChain.isPastable());
    EXPECT_FALSE(otherChain.paste({60}));
    EXPECT_EQ(0, otherChain.undoStack().count());
}

// Every window asks the one offer whether it may paste: it reads the
// clipboard once after each change, not at each question.
TEST(Document, ReadsTheClipboardOnceAfterEachChange)
{
    const auto document = factoryDocument();
    QClipboard* clipboard = QGuiApplication::clipboard();
    document->setClipboardOffer(std::make_shared<ClipboardOffer>(clipboard));
    clipboard->setText(QStringLiteral("not patches"));
    EXPECT_FALSE(document->isPastable());
    // Changed behind the clipboard's back: the offer read before stands.
    const_cast<QMimeData*>(clipboard->mimeData())
        ->setData(patchPasteboardType(), QByteArray(64, 1));
    EXPECT_FALSE(document->isPastable());
    putOnClipboard(payload(QByteArray(64, 1)));
    EXPECT_TRUE(document->isPastable());
}

} // namespace
} // namespace a3
