#include "PatchBlock.h"

#include <algorithm>
#include <numeric>

namespace a3 {

bool patchesFitBank(bool refersToChainData, std::uint16_t sourceChainChecksum,
                    std::uint16_t targetChainChecksum)
{
    return !refersToChainData || sourceChainChecksum == targetChainChecksum;
}

PatchPayload patchPayload(const A3AllDataSource& bank, std::span<const std::int64_t> rows)
{
    PatchPayload payload;
    payload.bytes.reserve(rows.size() * kPatchSize);
    for (std::int64_t row : rows) {
        const auto patch = bank.patchDataAt(row);
        payload.bytes.insert(payload.bytes.end(), patch.begin(), patch.end());
        if (!payload.refersToChainData &&
            bank.chainAtIndex(row) >= static_cast<std::int32_t>(kChainDataRefThreshold)) {
            payload.refersToChainData = true;
        }
    }
    return payload;
}

std::int64_t patchImageCount(std::span<const std::uint8_t> payload)
{
    return static_cast<std::int64_t>(payload.size() / kPatchSize);
}

std::vector<std::int64_t> blockRows(std::int64_t count, std::int64_t firstRow)
{
    // Measured from the end, so that no row, however large, overflows.
    if (count <= 0 || firstRow < 0 || count > static_cast<std::int64_t>(kPatchCount) - firstRow) {
        return {};
    }
    std::vector<std::int64_t> rows(static_cast<std::size_t>(count));
    std::iota(rows.begin(), rows.end(), firstRow);
    return rows;
}

std::vector<std::int64_t> pasteRows(std::int64_t count, std::span<const std::int64_t> selected)
{
    if (count > 0 && static_cast<std::size_t>(count) == selected.size()) {
        return {selected.begin(), selected.end()};
    }
    return selected.size() == 1 ? blockRows(count, selected.front()) : std::vector<std::int64_t>{};
}

void writePatchImages(A3AllDataSource& bank, std::span<const std::uint8_t> payload,
                      std::span<const std::int64_t> rows)
{
    const auto count = std::min(rows.size(), static_cast<std::size_t>(patchImageCount(payload)));
    for (std::size_t k = 0; k < count; ++k) {
        bank.setPatchData(payload.subspan(k * kPatchSize, kPatchSize), rows[k]);
    }
}

bool writePatchBlock(A3AllDataSource& bank, std::span<const std::uint8_t> payload, std::int64_t row)
{
    const std::vector<std::int64_t> rows = blockRows(patchImageCount(payload), row);
    writePatchImages(bank, payload, rows);
    return !rows.empty();
}

} // namespace a3
