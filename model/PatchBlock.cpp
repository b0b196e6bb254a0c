#include "PatchBlock.h"

#include <algorithm>

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

bool writePatchBlock(A3AllDataSource& bank, std::span<const std::uint8_t> payload, std::int64_t row)
{
    const std::int64_t count = patchImageCount(payload);
    // Measured from the end, so that no row, however large, overflows.
    if (count == 0 || row < 0 || count > bank.numberOfRows() - row) {
        return false;
    }
    for (std::int64_t i = 0; i < count; ++i) {
        bank.setPatchData(payload.subspan(static_cast<std::size_t>(i) * kPatchSize, kPatchSize),
                          row + i);
    }
    return true;
}

bool writePatchImagesToRows(A3AllDataSource& bank, std::span<const std::uint8_t> payload,
                            std::span<const std::int64_t> rows)
{
    const auto count = std::min(rows.size(), static_cast<std::size_t>(patchImageCount(payload)));
    for (std::size_t k = 0; k < count; ++k) {
        bank.setPatchData(payload.subspan(k * kPatchSize, kPatchSize), rows[k]);
    }
    return count > 0;
}

} // namespace a3
