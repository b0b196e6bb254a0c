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

// Writes the payload's whole patch images into consecutive rows from row on,
// all or nothing: a block that would run past the last row (or a negative
// row) writes nothing. Returns whether any patch was written.
bool writePatchBlock(A3AllDataSource& bank, std::span<const std::uint8_t> payload,
                     std::int64_t row);

// Writes the payload's k-th patch image onto the k-th of rows (ascending,
// valid patch indices), for as many rows as there are whole images. Returns
// whether any patch was written.
bool writePatchImagesToRows(A3AllDataSource& bank, std::span<const std::uint8_t> payload,
                            std::span<const std::int64_t> rows);

} // namespace a3
