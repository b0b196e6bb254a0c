#pragma once

#include "A3AllDataSource.h"

#include <cstdint>
#include <span>
#include <vector>

namespace a3 {

// The patch images of a set of rows, as copy and drag carry them.
struct PatchPayload
{
    std::vector<std::uint8_t> bytes; // 64 bytes a row, ascending row order, nothing else
    bool refersToChainData = false;  // some row has a chain number of 128 or more
};

// Whether patches may go from one bank into another: patches that refer to
// chain data (chain C0 and up) need the chain data they were made with, so
// they go only to a bank with the same chain checksum; others go anywhere.
bool patchesFitBank(bool refersToChainData, std::uint16_t sourceChainChecksum,
                    std::uint16_t targetChainChecksum);

// rows must be ascending and valid patch indices.
PatchPayload patchPayload(const A3AllDataSource& bank, std::span<const std::int64_t> rows);

// The number of whole patch images in a payload; trailing bytes do not count.
std::int64_t patchImageCount(std::span<const std::uint8_t> payload);

// The rows a block of count patches covers from firstRow on; nothing when
// the block would run past the last row, starts before the first, or is empty.
std::vector<std::int64_t> blockRows(std::int64_t count, std::int64_t firstRow);

// The rows a paste of count patches goes to while selected rows (ascending)
// are selected: the selected rows when there is a patch for each, else the
// block from the one selected row; nothing otherwise.
std::vector<std::int64_t> pasteRows(std::int64_t count, std::span<const std::int64_t> selected);

// Writes the payload's k-th patch image onto the k-th of rows (valid patch
// indices), for as many rows as there are whole images.
void writePatchImages(A3AllDataSource& bank, std::span<const std::uint8_t> payload,
                      std::span<const std::int64_t> rows);

// Writes the payload's whole patch images into blockRows() from row on, all
// or nothing. Returns whether any patch was written.
[[nodiscard]] bool writePatchBlock(A3AllDataSource& bank, std::span<const std::uint8_t> payload,
                                   std::int64_t row);

} // namespace a3
