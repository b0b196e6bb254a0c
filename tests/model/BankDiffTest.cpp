// Comparing two banks as saving writes them: chain data, patches with their
// names and differing offsets, and checksums that do not count.

#include "BankDiff.h"

#include <gtest/gtest.h>

namespace a3 {
namespace {

class BankDiff : public ::testing::Test
{
protected:
    A3AllDataSource a = A3AllDataSource::fallbackBank();
    A3AllDataSource b = A3AllDataSource::fallbackBank();

    void changeB(const std::function<void(A3AllData&)>& change)
    {
        A3AllData data = b.data();
        change(data);
        b.setData(data);
    }
};

TEST_F(BankDiff, IgnoresTheStoredChecksumsButNotTheChainData)
{
    changeB([](A3AllData& data) {
        data.checksum = {0x12, 0x34};
        data.checksum2 = {0x56, 0x78};
    });
    EXPECT_TRUE(compareBanks(a, b).identical());
    changeB([](A3AllData& data) { data.chain[kChainDataSize - 1] ^= 0x80; });
    const BankDifference difference = compareBanks(a, b);
    EXPECT_TRUE(difference.chainDataDiffers);
    EXPECT_TRUE(difference.patches.empty());
    EXPECT_FALSE(difference.identical());
}

TEST_F(BankDiff, NamesEachDifferingPatchWithItsOffsets)
{
    b.setPatchName(u"Changed", 0);
    changeB([](A3AllData& data) {
        data.patch[99][0] ^= 1;
        data.patch[99][63] ^= 1;
    });
    const BankDifference difference = compareBanks(a, b);
    EXPECT_FALSE(difference.chainDataDiffers);
    ASSERT_EQ(difference.patches.size(), 2u);
    EXPECT_EQ(difference.patches[0].number, 1);
    EXPECT_EQ(difference.patches[0].nameA, "Metalic");
    EXPECT_EQ(difference.patches[0].nameB, "Changed");
    EXPECT_EQ(difference.patches[0].offsets, (std::vector<std::size_t>{9, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(difference.patches[1].number, 100);
    EXPECT_EQ(difference.patches[1].offsets, (std::vector<std::size_t>{0, 63}));
}

} // namespace
} // namespace a3
