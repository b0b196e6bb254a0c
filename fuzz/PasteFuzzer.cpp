// A paste of any payload onto any selection, or at any row, through the
// document's own paste logic and a real patch table.
//
// Input: the payload; then, as FuzzedDataProvider reads integers from the end
// (low byte first, a signed one offset by 2^63), the drop row when the mode
// asks for one, the selected rows 64..99 and 0..63 as bit masks, and a byte of
// mode (1 a drop at that row instead of a paste, 2 the payload as text form).

#include "A3AllDataDocument.h"
#include "PasteboardTypes.h"
#include "PatchTableModel.h"
#include "PropertyListText.h"
#include "Require.h"

#include <QApplication>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

using namespace a3;
using fuzz::require;

// Made once and kept for the whole process, as an application keeps them.
A3AllDataDocument* document = nullptr;
QWidget* windowContent = nullptr;
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

// Each run of consecutive rows as one range of whole rows, as a drag across
// rows selects them.
void selectRows(TableView& table, const std::vector<std::int64_t>& rows)
{
    const QAbstractItemModel& model = *table.model();
    const int lastColumn = model.columnCount() - 1;
    QItemSelection selection;
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) {
            ++last;
        }
        selection.select(model.index(static_cast<int>(rows[first]), 0),
                         model.index(static_cast<int>(rows[last]), lastColumn));
        first = last + 1;
    }
    table.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "a3paste_fuzzer";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);

    document = new A3AllDataDocument(std::filesystem::path{});
    windowContent = document->makeWindowContent();
    // Patches that all differ, so that any row written by mistake shows.
    initialBank = document->dataSource().data();
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        for (std::size_t i = 0; i < kPatchSize; ++i) {
            initialBank.patch[row][i] = static_cast<std::uint8_t>(i == 0 ? row : row * 3 + i);
        }
    }
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

    A3AllDataSource& bank = document->dataSource();
    bank.setData(initialBank);
    TableView& table = *document->patchTableView();
    // A paste keeps the selection (checked below), so the table is only
    // selected afresh when the input asks for other rows than the last.
    static std::vector<std::int64_t> shownSelection;
    const std::vector<std::int64_t> selected = rowsOf(lowRows, highRows);
    if (selected != shownSelection) {
        selectRows(table, selected);
        shownSelection = selected;
    }
    QMimeData pasteboard;
    if (mode & 2) {
        pasteboard.setText(propertyListText(patchPasteboardType(), payload));
    } else {
        pasteboard.setData(patchPasteboardType(), payload);
    }

    const bool written = document->readFromPasteboard(&pasteboard, &table, row);

    // The selection the rules see is the one the input asked for, not what
    // the table reports back.
    const std::vector<std::int64_t> rows =
        pastedRows(payload.size() / static_cast<qsizetype>(kPatchSize), selected, row);
    require(written == !rows.empty(), "a paste writes exactly when the rules give it rows");
    A3AllData expected = initialBank;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        std::memcpy(expected.patch[static_cast<std::size_t>(rows[k])].data(),
                    payload.constData() + k * kPatchSize, kPatchSize);
    }
    const A3AllData after = bank.data();
    require(std::memcmp(&after, &expected, kRecordSize) == 0,
            "the whole block is written and nothing else");
    const QList<qint64> selectedAfter = table.selectedRowIndexes();
    require(
        std::equal(selectedAfter.begin(), selectedAfter.end(), selected.begin(), selected.end()),
        "the table shows the selection asked for, and the paste keeps it");
    require(bank.numberOfRows() == static_cast<std::int64_t>(kPatchCount) &&
                document->tableModel().rowCount() == static_cast<int>(kPatchCount),
            "the bank keeps its 100 patches");
    return 0;
}
