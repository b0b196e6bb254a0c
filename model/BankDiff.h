#pragma once

#include "A3AllDataSource.h"

#include <cstddef>
#include <string>
#include <vector>

namespace a3 {

struct PatchDifference
{
    int number = 0;    // 1 to 100
    std::string nameA; // as A3AllDataSource::patchNameAt gives it
    std::string nameB;
    std::vector<std::size_t> offsets; // the differing bytes within the 64-byte patch
};

struct BankDifference
{
    bool chainDataDiffers = false;
    std::vector<PatchDifference> patches; // in patch order
    bool identical() const { return !chainDataDiffers && patches.empty(); }
};

// Compares what saving writes of each bank: the chain data and the 100
// patches. The stored checksums do not count, as saving recomputes them from
// exactly these bytes, and the header is the same in every bank.
BankDifference compareBanks(const A3AllDataSource& a, const A3AllDataSource& b);

} // namespace a3
