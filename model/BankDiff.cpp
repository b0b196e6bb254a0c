#include "BankDiff.h"

namespace a3 {

BankDifference compareBanks(const A3AllDataSource& a, const A3AllDataSource& b)
{
    const A3AllData first = a.data();
    const A3AllData second = b.data();
    BankDifference difference;
    difference.chainDataDiffers = first.chain != second.chain;
    for (std::size_t index = 0; index < kPatchCount; ++index) {
        const auto& patchA = first.patch[index];
        const auto& patchB = second.patch[index];
        if (patchA == patchB) {
            continue;
        }
        const auto row = static_cast<std::int64_t>(index);
        PatchDifference patch{
            static_cast<int>(index) + 1, a.patchNameAt(row), b.patchNameAt(row), {}};
        for (std::size_t offset = 0; offset < kPatchSize; ++offset) {
            if (patchA[offset] != patchB[offset]) {
                patch.offsets.push_back(offset);
            }
        }
        difference.patches.push_back(std::move(patch));
    }
    return difference;
}

} // namespace a3
