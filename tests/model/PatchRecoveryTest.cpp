// The patches taken from a dump cut short or with bytes that are not nibbles:
// exactly those that arrived whole and clean, the rest from the base bank.

#include "PatchRecovery.h"

#include "TempDir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Where the nibble bytes of the chain data, its checksum, patch n (1 to 100)
// and the patch checksum start in a dump.
constexpr std::size_t kChainAt = 5;
constexpr std::size_t kChainChecksumAt = 16389;
constexpr std::size_t patchAt(int number)
{
    return 16393 + 128 * static_cast<std::size_t>(number - 1);
}
constexpr std::size_t kPatchChecksumAt = 29193;

std::vector<int> numbers(int from, int to)
{
    std::vector<int> all;
    for (int n = from; n <= to; ++n) {
        all.push_back(n);
    }
    return all;
}

std::vector<int> without(std::vector<int> all, std::initializer_list<int> gone)
{
    std::erase_if(all, [&](int n) { return std::find(gone.begin(), gone.end(), n) != gone.end(); });
    return all;
}

class PatchRecovery : public ::testing::Test
{
protected:
    // The dump the patches come from has the factory bank's content, whose
    // patches 10, 20, 30, 50, 70 and 90 use chain data; the base bank has
    // other patches and chain data throughout.
    const Bytes dump =
        test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "factory-bank.syx");
    const A3AllDataSource base = A3AllDataSource::fallbackBank();
    A3AllDataSource source = A3AllDataSource::fromSyxData(dump).value();

    void expectBank(const RecoveredBank& recovered, bool chainData)
    {
        const A3AllData got = recovered.bank.data();
        const A3AllData from = (chainData ? source : base).data();
        EXPECT_EQ(0, std::memcmp(got.chain.data(), from.chain.data(), kChainDataSize));
        for (int n = 1; n <= 100; ++n) {
            const auto& report = recovered.report.recovered;
            const bool taken = std::find(report.begin(), report.end(), n) != report.end();
            EXPECT_EQ((taken ? source : base).patchDataAt(n - 1), recovered.bank.patchDataAt(n - 1))
                << "patch " << n;
        }
        // The header and checksums are the base bank's until the bank is written.
        EXPECT_EQ(base.data().sysExHeader, got.sysExHeader);
    }
};

TEST_F(PatchRecovery, TakesExactlyThePatchesThatArrivedWholeAndClean)
{
    const auto cut = [&](std::size_t count) {
        return Bytes(dump.begin(), dump.begin() + static_cast<std::ptrdiff_t>(count));
    };
    const auto dirty = [&](std::initializer_list<std::size_t> at) {
        Bytes bytes = dump;
        for (const std::size_t i : at) {
            bytes[i] = 0x10;
        }
        return bytes;
    };
    Bytes lyingChecksum = dump;
    lyingChecksum[kPatchChecksumAt] ^= 0x01;
    Bytes lyingChainChecksum = dump;
    lyingChainChecksum[kChainChecksumAt + 3] ^= 0x01;
    Bytes chainDirtyTo20 = dirty({kChainAt});
    chainDirtyTo20.resize(patchAt(21));
    Bytes longer = dump;
    longer.push_back(0x42);
    using enum ChecksumCheck;
    using N = std::vector<int>;
    const N none, all = numbers(1, 100);
    const struct
    {
        const char* name;
        Bytes bytes;
        std::vector<int> recovered, notArrived, notNibbles;
        bool chainData;
        ChecksumCheck chainChecksum, patchChecksum;
        std::vector<int> usingBaseChainData;
    } cases[] = {
        {"header only", cut(5), none, all, none, false, Unchecked, Unchecked, none},
        {"inside the chain data", cut(kChainChecksumAt - 1), none, all, none, false, Unchecked,
         Unchecked, none},
        {"after the chain data", cut(kChainChecksumAt), none, all, none, true, Unchecked, Unchecked,
         none},
        {"one byte short of patch 1", cut(patchAt(2) - 1), none, all, none, true, Matches,
         Unchecked, none},
        {"patches 1 to 10", cut(patchAt(11)), numbers(1, 10), numbers(11, 100), none, true, Matches,
         Unchecked, none},
        {"all but the checksum", cut(kPatchChecksumAt + 3), all, none, none, true, Matches,
         Unchecked, none},
        {"whole", dump, all, none, none, true, Matches, Matches, none},
        {"whole, and more", longer, all, none, none, true, Matches, Matches, none},
        {"not nibbles", dirty({kChainAt + 8000, patchAt(5) + 127, patchAt(100)}),
         without(all, {5, 100}), none, N{5, 100}, false, Unchecked, Unchecked,
         N{10, 20, 30, 50, 70, 90}},
        {"unclean chain checksum", dirty({kChainChecksumAt}), all, none, none, true, Unchecked,
         Matches, none},
        {"patch checksum differs", lyingChecksum, all, none, none, true, Matches, Differs, none},
        {"chain checksum differs", lyingChainChecksum, all, none, none, true, Differs, Matches,
         none},
        {"chain data dirty, patches 1 to 20", chainDirtyTo20, numbers(1, 20), numbers(21, 100),
         none, false, Unchecked, Unchecked, N{10, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RecoveredBank result = recoverPatches(c.bytes, base);
        const PatchRecoveryReport& report = result.report;
        EXPECT_EQ(c.recovered, report.recovered);
        EXPECT_EQ(c.notArrived, report.notArrived);
        EXPECT_EQ(c.notNibbles, report.notNibbles);
        EXPECT_EQ(c.chainData, report.chainDataRecovered);
        EXPECT_EQ(c.chainChecksum, report.chainChecksum);
        EXPECT_EQ(c.patchChecksum, report.patchChecksum);
        EXPECT_EQ(c.usingBaseChainData, report.usingBaseChainData);
        expectBank(result, c.chainData);
    }
}

TEST_F(PatchRecovery, RecoversNothingFromBytesThatAreNoDump)
{
    Bytes wrong = dump;
    wrong[3] = 0x21;
    for (const Bytes& bytes : {Bytes{}, Bytes(dump.begin(), dump.begin() + 4), wrong}) {
        const RecoveredBank result = recoverPatches(bytes, base);
        EXPECT_TRUE(result.report.recovered.empty());
        EXPECT_FALSE(result.report.chainDataRecovered);
        EXPECT_EQ(std::vector<std::string>{"These bytes do not start as an All-Data dump does, "
                                           "so nothing was recovered."},
                  result.report.lines);
        const A3AllData got = result.bank.data();
        const A3AllData expected = base.data();
        EXPECT_EQ(0, std::memcmp(&got, &expected, kRecordSize));
    }
}

TEST_F(PatchRecovery, TellsTheUserWhatWasRecoveredAndWhatCannotBeVerified)
{
    Bytes bytes(dump.begin(), dump.begin() + static_cast<std::ptrdiff_t>(patchAt(31)) + 5);
    bytes[kChainAt] = 0x7F;
    bytes[patchAt(3)] = 0x20;
    EXPECT_EQ((std::vector<std::string>{
                  "Recovered 29 of 100 patches: 1–2, 4–30.",
                  "Patches 31–100 did not arrive whole, so the bank has the base bank's there.",
                  "Patch 3 has bytes that are not nibbles (above 0x0F), so the bank has the base "
                  "bank's there.",
                  "The chain data did not arrive whole and clean, so the bank has the base bank's.",
                  "Patches 10, 20, 30 use chain data (chain number 128 or above), which was not "
                  "recovered: they refer to the base bank's.",
                  "The patch checksum covers all 100 patches at once, so it cannot verify single "
                  "patches: check the recovered ones before you use them."}),
              recoverPatches(bytes, base, "the base bank").report.lines);

    Bytes lying = dump;
    lying[kPatchChecksumAt] ^= 0x01;
    lying[kChainChecksumAt] ^= 0x01;
    EXPECT_EQ((std::vector<std::string>{
                  "Recovered 100 of 100 patches: 1–100.",
                  "The chain data was recovered, but its checksum differs: it may be wrong.",
                  "The patch checksum differs: some patch may be wrong, and as the checksum "
                  "covers all 100 patches at once it cannot tell which."}),
              recoverPatches(lying, base).report.lines);
    EXPECT_EQ((std::vector<std::string>{"Recovered 100 of 100 patches: 1–100.",
                                        "The chain data was recovered, and its checksum matches.",
                                        "The patch checksum matches all 100 patches."}),
              recoverPatches(dump, base).report.lines);
    EXPECT_EQ((std::vector<std::string>{
                  "No patch was recovered.",
                  "Patches 1–100 did not arrive whole, so the bank has the factory bank's there.",
                  "The chain data was recovered, but its checksum did not arrive to check it."}),
              recoverPatches(Bytes(dump.begin(), dump.begin() + 16390), base).report.lines);
    Bytes one(dump.begin(), dump.begin() + static_cast<std::ptrdiff_t>(patchAt(11)));
    one[kChainAt + 1] = 0x10;
    one[patchAt(9)] = 0x10;
    const auto lines = recoverPatches(one, base).report.lines;
    ASSERT_EQ(6u, lines.size());
    EXPECT_EQ("Patch 9 has bytes that are not nibbles (above 0x0F), so the bank has the factory "
              "bank's there.",
              lines[2]);
    EXPECT_EQ("Patch 10 uses chain data (chain number 128 or above), which was not recovered: it "
              "refers to the factory bank's.",
              lines[4]);
}

} // namespace
} // namespace a3
