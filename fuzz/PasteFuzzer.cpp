// A paste of any payload onto any selection, or a drop at any row, through
// the document's own paste logic and the clipboard, and its undo.
//
// Input: the payload; then, as FuzzedDataProvider reads integers from the end
// (low byte first, a signed one offset by 2^63), the drop row when the mode
// asks for one, the selected rows 64..99 and 0..63 as bit masks, and a byte of
// mode (1 a drop at that row instead of a paste, 2 the payload as text form).

#include "A3AllDataDocument.h"
#include "PasteboardTypes.h"
#include "PropertyListText.h"
#include "Require.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

using namespace a3;
using fuzz::require;

// Made once and kept for the whole process, as an application keeps them.
A3AllDataDocument* document = nullptr;
A3AllData initialBank{};

// The rows whose bits are set: 0..63 in low, 64..99 in high, ascending.
std::vector<std::int64_t> rowsOf(std::uint64_t low, std::uint64_t high)
{
    std::vector<std::int64_t> rows;
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        if ((row < 64 ? low >> row : high >> (row - 64)) & 1) {
            rows.push_back(static_cast<std::int64_t>(row));
        }
    }
    return rows;
}

// The rows the paste rules give the payload's patches, in payload order; none
// when the paste writes nothing.
std::vector<std::int64_t> pastedRows(std::int64_t count, const std::vector<std::int64_t>& selected,
                                     std::int64_t row)
{
    if (row == -1 && count == static_cast<std::int64_t>(selected.size())) {
        return selected;
    }
    const std::int64_t first = row != -1 ? row : selected.size() == 1 ? selected.front() : -1;
    std::vector<std::int64_t> rows;
    if (count > 0 && first >= 0 && first <= static_cast<std::int64_t>(kPatchCount) - count) {
        for (std::int64_t k = 0; k < count; ++k) {
            rows.push_back(first + k);
        }
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "a3paste_fuzzer";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);

    // Patches that all differ, so that any row written by mistake shows.
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    initialBank = bank.data();
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        for (std::size_t i = 0; i < kPatchSize; ++i) {
            initialBank.patch[row][i] = static_cast<std::uint8_t>(i == 0 ? row : row * 3 + i);
        }
    }
    bank.setData(initialBank);
    document = new A3AllDataDocument(bank);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The choices come from the input's end, the payload is what is left.
    FuzzedDataProvider input(data, size);
    const auto mode = input.ConsumeIntegral<std::uint8_t>();
    const auto lowRows = input.ConsumeIntegral<std::uint64_t>();
    const auto highRows = input.ConsumeIntegral<std::uint64_t>();
    const std::int64_t row = mode & 1 ? input.ConsumeIntegral<std::int64_t>() : -1;
    const QByteArray payload = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    auto* pasteboard = new QMimeData;
    if (mode & 2) {
        pasteboard->setText(propertyListText(patchPasteboardType(), payload));
    } else {
        pasteboard->setData(patchPasteboardType(), payload);
    }
    const std::vector<std::int64_t> selected = rowsOf(lowRows, highRows);
    bool written = false;
    if (row != -1) {
        written = document->drop(pasteboard, row);
        delete pasteboard;
    } else {
        QGuiApplication::clipboard()->setMimeData(pasteboard);
        written = document->paste(QList<qint64>(selected.begin(), selected.end()));
    }

    const std::vector<std::int64_t> rows =
        pastedRows(payload.size() / static_cast<qsizetype>(kPatchSize), selected, row);
    require(written == !rows.empty(), "a paste writes exactly when the rules give it rows");
    A3AllData expected = initialBank;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        std::memcpy(expected.patch[static_cast<std::size_t>(rows[k])].data(),
                    payload.constData() + k * kPatchSize, kPatchSize);
    }
    const A3AllData after = document->bank().data();
    require(std::memcmp(&after, &expected, kRecordSize) == 0,
            "the whole block is written and nothing else");
    require(document->undoStack().canUndo() == written,
            "a paste is an undo step exactly when it wrote");
    if (written) {
        document->undoStack().undo();
    }
    const A3AllData undone = document->bank().data();
    require(std::memcmp(&undone, &initialBank, kRecordSize) == 0,
            "undo puts back every byte the paste covered");
    return 0;
}
