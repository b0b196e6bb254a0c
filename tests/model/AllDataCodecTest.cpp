// Reading and writing All-Data files: the length and header checks, the nibble
// coding, the checksums and byte-exact round trips; then every compiled-in
// variant of the coding loops against a plain reference.

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "NibbleKernels.h"
#include "TempDir.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace a3 {
namespace {

using test::wellFormedAllDataFile;

A3AllDataSource fallbackBank()
{
    return A3AllDataSource::fallbackBank();
}

TEST(AllDataCodec, RejectsEveryLengthButTheOneAndLeavesTheBankAlone)
{
    for (std::size_t length :
         {std::size_t{0}, std::size_t{1}, kAllDataFileSize - 1, kAllDataFileSize + 1}) {
        auto bank = fallbackBank();
        const A3AllData before = bank.data();
        std::vector<std::uint8_t> file = wellFormedAllDataFile();
        file.resize(length, 0x01);
        EXPECT_FALSE(bank.setSyxData(file)) << length;
        const A3AllData after = bank.data();
        EXPECT_EQ(0, std::memcmp(&before, &after, kRecordSize)) << length;
    }
}

TEST(AllDataCodec, RejectsEachWrongHeaderByteAndKeepsTheWholeRecord)
{
    const std::vector<std::uint8_t> good = wellFormedAllDataFile();
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        auto bank = fallbackBank();
        const A3AllData before = bank.data();
        auto file = good;
        file[i] ^= 0x01;
        EXPECT_FALSE(bank.setSyxData(file)) << "header byte " << i;
        const A3AllData after = bank.data();
        // Header included: a refused header must not reach a later save.
        EXPECT_EQ(0, std::memcmp(&before, &after, kRecordSize)) << "header byte " << i;
        const auto written = bank.syxData();
        EXPECT_TRUE(std::equal(kAllDataHeader.begin(), kAllDataHeader.end(), written.begin()));
    }
}

TEST(AllDataCodec, WellFormedFileRoundTripsByteForByte)
{
    const auto file = wellFormedAllDataFile();
    ASSERT_EQ(kAllDataFileSize, file.size());
    auto bank = fallbackBank();
    ASSERT_TRUE(bank.setSyxData(file));
    EXPECT_EQ(file, bank.syxData());
}

TEST(AllDataCodec, AcceptsAnyLastByteButAlwaysWritesF7)
{
    auto file = wellFormedAllDataFile();
    file.back() = 0x00;
    auto bank = fallbackBank();
    ASSERT_TRUE(bank.setSyxData(file));
    const auto written = bank.syxData();
    EXPECT_EQ(0xF7, written.back());
    EXPECT_TRUE(std::equal(file.begin(), file.end() - 1, written.begin()));
}

TEST(AllDataCodec, DecodesNibblePairsWithTheUnmaskedLowNibbleByte)
{
    struct Pair
    {
        std::uint8_t low, high, decoded;
    };
    // 0x1F|0x02: the low-nibble byte's bit 4 is ORed in; 0x03|0x12: the
    // high-nibble byte's bit 4 falls off in the shift.
    for (const Pair pair : {Pair{0x0F, 0x0F, 0xFF}, Pair{0x1F, 0x02, 0x3F}, Pair{0x03, 0x12, 0x23},
                            Pair{0x00, 0x00, 0x00}}) {
        auto file = wellFormedAllDataFile();
        // The first chain byte: file offsets 5 and 6.
        file[5] = pair.low;
        file[6] = pair.high;
        auto bank = fallbackBank();
        ASSERT_TRUE(bank.setSyxData(file));
        EXPECT_EQ(pair.decoded, bank.data().chain[0]) << int(pair.low) << "," << int(pair.high);
    }
}

TEST(AllDataCodec, PlacesPatchBytesAtTheirFileOffsets)
{
    auto bank = fallbackBank();
    std::vector<std::uint8_t> patch(kPatchSize, 0);
    patch[0] = 0xAB;  // chain number of the last patch
    patch[63] = 0x5C; // its last byte
    bank.setPatchData(patch, 99);
    const auto file = bank.syxData();
    EXPECT_EQ(0x0B, file[16393 + 128 * 99]);
    EXPECT_EQ(0x0A, file[16394 + 128 * 99]);
    EXPECT_EQ(0x0C, file[16393 + 128 * 99 + 2 * 63]);
    EXPECT_EQ(0x05, file[16394 + 128 * 99 + 2 * 63]);
}

TEST(AllDataCodec, ChecksumsStartAtTheirOwnValues)
{
    auto bank = fallbackBank();
    A3AllData record = bank.data();
    record.chain.fill(0);
    for (auto& patch : record.patch) {
        patch.fill(0);
    }
    bank.setData(record);
    const auto file = bank.syxData();
    // Chain checksum 0xF000 over all-zero chain data, low byte first, as nibbles.
    EXPECT_EQ((std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x0F}),
              std::vector<std::uint8_t>(file.begin() + 16389, file.begin() + 16393));
    // Patch checksum 0x7380 over all-zero patches.
    EXPECT_EQ((std::vector<std::uint8_t>{0x00, 0x08, 0x03, 0x07}),
              std::vector<std::uint8_t>(file.begin() + 29193, file.begin() + 29197));
    EXPECT_EQ(0xF000, bank.chainChecksum());
}

TEST(AllDataCodec, ChecksumsWrapAroundModulo65536)
{
    auto bank = fallbackBank();
    A3AllData record = bank.data();
    record.chain.fill(0xFF); // 8192 * 255 + 0xF000 wraps several times
    bank.setData(record);
    bank.syxData();
    EXPECT_EQ(static_cast<std::uint16_t>(0xF000 + 8192 * 255), bank.chainChecksum());
}

TEST(AllDataCodec, StoredChecksumsHoldUntilTheNextWrite)
{
    auto file = wellFormedAllDataFile();
    // Chain checksum fields, low nibble first: store 0x1234.
    file[16389] = 0x4;
    file[16390] = 0x3;
    file[16391] = 0x2;
    file[16392] = 0x1;
    auto bank = fallbackBank();
    ASSERT_TRUE(bank.setSyxData(file));
    EXPECT_EQ(0x1234, bank.chainChecksum());
    const auto written = bank.syxData();
    const auto good = wellFormedAllDataFile();
    EXPECT_TRUE(std::equal(good.begin() + 16389, good.begin() + 16393, written.begin() + 16389));
    EXPECT_EQ(good[16389] | (good[16390] << 4) | (good[16391] << 8) | (good[16392] << 12),
              bank.chainChecksum());
}

TEST(AllDataCodec, EveryWrittenFileIsMidiCleanBetweenItsEnds)
{
    auto bank = fallbackBank();
    A3AllData record = bank.data();
    record.chain.fill(0xFF);
    bank.setData(record);
    const auto file = bank.syxData();
    ASSERT_EQ(kAllDataFileSize, file.size());
    EXPECT_TRUE(std::all_of(file.begin() + 1, file.end() - 1, [](auto b) { return b < 0x80; }));
}

TEST(AllDataFileRules, NameTheFirstProblemOfARefusedFile)
{
    auto file = wellFormedAllDataFile();
    EXPECT_EQ(std::nullopt, allDataFileProblem(file));
    file[2] = 0x22;
    file[3] = 0x00;
    EXPECT_EQ("wrong header: byte 2 is 0x22, expected 0x21", allDataFileProblem(file));
    file.push_back(0xF7);
    EXPECT_EQ("wrong length: 29199 bytes, expected 29198", allDataFileProblem(file));
    EXPECT_EQ("wrong length: 4294996494 bytes, expected 29198",
              allDataLengthProblem((std::uintmax_t{1} << 32) + kAllDataFileSize));
}

TEST(AllDataFileRules, ListWhatTheBankToleratesInAFileItTakes)
{
    auto file = wellFormedAllDataFile();
    EXPECT_TRUE(toleratedDefects(file).empty());
    file[16389] ^= 0x01; // the stored chain checksum off by one
    // Nibble bytes above 0x0F, the first and the last among them; the header
    // and the last byte are not nibble bytes.
    for (const std::size_t at : {kHeaderSize, std::size_t{100}, kAllDataFileSize - 2}) {
        file[at] |= 0x10;
    }
    file.back() = 0x00;
    const auto defects = toleratedDefects(file);
    ASSERT_EQ(3u, defects.size());
    EXPECT_EQ(0u, defects[0].find("chain checksum 0x")) << defects[0];
    EXPECT_NE(std::string::npos, defects[0].find(" stored, 0x")) << defects[0];
    EXPECT_EQ("last byte is 0x00, expected 0xF7", defects[1]);
    EXPECT_EQ("3 nibble bytes above 0x0F", defects[2]);

    file[0] = 0x00; // refused: nothing to tolerate
    EXPECT_TRUE(toleratedDefects(file).empty());
}

// The public calls only reach the variant this CPU picks, so each variant it
// can run is held to this reference on its own.
std::vector<std::uint8_t> referenceDecode(std::span<const std::uint8_t> pairs)
{
    std::vector<std::uint8_t> bytes(pairs.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(pairs[2 * i] | (pairs[2 * i + 1] & 0x0F) << 4);
    }
    return bytes;
}

std::vector<std::uint8_t> factoryBankNibbles()
{
    const auto file = test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "factory-bank.syx");
    return {file.begin() + kHeaderSize, file.end() - 1};
}

std::vector<std::uint8_t> randomBytes(std::size_t count)
{
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(count);
    std::ranges::generate(bytes, [&] { return static_cast<std::uint8_t>(byte(random)); });
    return bytes;
}

// Decodes pairs[2 * from ...) into count bytes and checks them against the
// reference and that nothing is written past them.
void expectDecodes(const nibble::Kernels& kernels, std::span<const std::uint8_t> pairs,
                   std::size_t from, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count + 1, 0xEE);
    kernels.decode(pairs.data() + 2 * from, count, bytes.data());
    EXPECT_EQ(0xEE, bytes.back()) << "past the end, count " << count;
    bytes.pop_back();
    EXPECT_EQ(referenceDecode(pairs.subspan(2 * from, 2 * count)), bytes) << "count " << count;
}

void expectEncodes(const nibble::Kernels& kernels, std::span<const std::uint8_t> bytes,
                   std::uint16_t sumStart)
{
    std::vector<std::uint8_t> pairs(2 * bytes.size() + 1, 0xEE);
    const std::uint16_t sum =
        kernels.encodeSummed(bytes.data(), bytes.size(), pairs.data(), sumStart);
    EXPECT_EQ(0xEE, pairs.back()) << "past the end, count " << bytes.size();
    pairs.pop_back();
    std::vector<std::uint8_t> expected;
    unsigned expectedSum = sumStart;
    for (const std::uint8_t byte : bytes) {
        expected.insert(expected.end(), {static_cast<std::uint8_t>(byte & 0x0F),
                                         static_cast<std::uint8_t>(byte >> 4)});
        expectedSum += byte;
    }
    EXPECT_EQ(expected, pairs) << "count " << bytes.size();
    EXPECT_EQ(static_cast<std::uint16_t>(expectedSum), sum) << "count " << bytes.size();
}

class AllDataKernels : public ::testing::TestWithParam<nibble::Kernels>
{};

TEST_P(AllDataKernels, DecodeTheFactoryBankAndBytesNoDeviceWrites)
{
    const std::size_t size = 2 * kDumpBodySize;
    std::vector<std::vector<std::uint8_t>> inputs{factoryBankNibbles(), randomBytes(size)};
    // Uniform, then alternating between the even and odd byte of each pair.
    for (const auto& [even, odd] : {std::pair<std::uint8_t, std::uint8_t>{0xFF, 0xFF},
                                    {0xF0, 0xF0},
                                    {0xAA, 0x55},
                                    {0xF0, 0x0F},
                                    {0x0F, 0xF0}}) {
        auto& pattern = inputs.emplace_back(size, even);
        for (std::size_t i = 1; i < size; i += 2) {
            pattern[i] = odd;
        }
    }
    for (const auto& pairs : inputs) {
        expectDecodes(GetParam(), pairs, 0, kDumpBodySize);
        // Short runs from an odd start: every way a vector loop can end.
        for (std::size_t count = 0; count <= 160; ++count) {
            expectDecodes(GetParam(), pairs, 3, count);
        }
    }
}

TEST_P(AllDataKernels, EncodeAndSumTheFactoryBankAndRandomBytes)
{
    const auto bank = referenceDecode(factoryBankNibbles());
    const auto random = randomBytes(kDumpBodySize);
    for (const auto& bytes : {bank, random}) {
        // The whole body, then short runs from an odd start.
        expectEncodes(GetParam(), bytes, kChainChecksumStart);
        for (std::size_t count = 0; count <= 160; ++count) {
            expectEncodes(GetParam(), std::span(bytes).subspan(3, count), kPatchChecksumStart);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RunnableHere, AllDataKernels,
                         ::testing::ValuesIn(nibble::runnableKernels()),
                         [](const auto& variant) { return std::string(variant.param.name); });

} // namespace

namespace nibble {
// Names the variant in failure messages.
void PrintTo(const Kernels& kernels, std::ostream* out)
{
    *out << kernels.name;
}
} // namespace nibble
} // namespace a3
