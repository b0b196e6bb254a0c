// Reading and writing All-Data files: the rules a file must meet, the nibble
// coding, the checksums and byte-exact round trips of the golden files.

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "TempDir.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::wellFormedAllDataFile;

std::filesystem::path dataFile(const char* name)
{
    return std::filesystem::path(A3_TEST_DATA_DIR) / name;
}

bool sameRecord(const A3AllData& a, const A3AllData& b)
{
    return std::memcmp(&a, &b, kRecordSize) == 0;
}

// The value of a 16-bit field written as four nibbles, low first.
unsigned nibbleField(const std::vector<std::uint8_t>& file, std::size_t at)
{
    return file[at] | file[at + 1] << 4 | file[at + 2] << 8 | file[at + 3] << 12;
}

TEST(AllDataFile, RefusesEachWrongLengthAndHeaderByteAndTheBankKeepsItsRecord)
{
    const auto resized = [](std::size_t length) {
        auto file = wellFormedAllDataFile();
        file.resize(length, 0x01);
        return file;
    };
    const auto flipped = [](std::size_t at) {
        auto file = wellFormedAllDataFile();
        file[at] ^= 0x01;
        return file;
    };
    auto headerAndLength = flipped(2);
    headerAndLength.push_back(0xF7);
    const std::pair<std::vector<std::uint8_t>, std::string> refused[] = {
        {resized(0), "wrong length: 0 bytes, expected 29198"},
        {resized(1), "wrong length: 1 bytes, expected 29198"},
        {resized(29197), "wrong length: 29197 bytes, expected 29198"},
        {resized(29199), "wrong length: 29199 bytes, expected 29198"},
        {headerAndLength, "wrong length: 29199 bytes, expected 29198"},
        {flipped(0), "wrong header: byte 0 is 0xF1, expected 0xF0"},
        {flipped(1), "wrong header: byte 1 is 0x43, expected 0x42"},
        {flipped(2), "wrong header: byte 2 is 0x20, expected 0x21"},
        {flipped(3), "wrong header: byte 3 is 0x21, expected 0x20"},
        {flipped(4), "wrong header: byte 4 is 0x41, expected 0x40"},
    };
    for (const auto& [file, problem] : refused) {
        const Outcome checked = checkAllDataFile(file);
        ASSERT_FALSE(checked.ok()) << problem;
        EXPECT_EQ(problem, checked.failure().reason);
        auto bank = A3AllDataSource::fallbackBank();
        const A3AllData before = bank.data();
        const Outcome taken = bank.setSyxData(file);
        ASSERT_FALSE(taken.ok()) << problem;
        EXPECT_EQ(problem, taken.failure().reason);
        const Result<A3AllDataSource> made = A3AllDataSource::fromSyxData(file);
        ASSERT_FALSE(made.ok()) << problem;
        EXPECT_EQ(problem, made.failure().reason);
        // Header included: a refused header must not reach a later save.
        EXPECT_TRUE(sameRecord(before, bank.data())) << problem;
        EXPECT_TRUE(toleratedDefects(file).empty()) << problem;
    }
    EXPECT_TRUE(checkAllDataFile(wellFormedAllDataFile()).ok());
    EXPECT_TRUE(checkAllDataLength(kAllDataFileSize).ok());
    EXPECT_EQ("wrong length: 4294996494 bytes, expected 29198",
              checkAllDataLength((std::uintmax_t{1} << 32) + kAllDataFileSize).failure().reason);
}

TEST(AllDataFile, GoldenAndWellFormedFilesRoundTripByteForByte)
{
    const auto golden = test::readBytes(dataFile("factory-bank.syx"));
    EXPECT_EQ(golden, A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH)->syxData());
    for (const auto& file : {golden, wellFormedAllDataFile()}) {
        Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(file);
        ASSERT_TRUE(bank.ok());
        EXPECT_EQ(file, bank->syxData());
        EXPECT_TRUE(toleratedDefects(file).empty());
    }
}

TEST(AllDataFile, ListsWhatTheBankToleratesAndWritesItRight)
{
    auto file = wellFormedAllDataFile();
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
    auto oneHigh = wellFormedAllDataFile();
    oneHigh[kHeaderSize + 1] |= 0x10; // a high-nibble byte: the value stays
    EXPECT_EQ(std::vector<std::string>{"1 nibble bytes above 0x0F"}, toleratedDefects(oneHigh));

    // The stored checksum holds until the next write, which puts the file
    // right again.
    const auto good = wellFormedAllDataFile();
    file = good;
    file[16389] ^= 0x01;
    file.back() = 0x00;
    auto bank = A3AllDataSource::fallbackBank();
    ASSERT_TRUE(bank.setSyxData(file).ok());
    EXPECT_EQ(nibbleField(file, 16389), bank.chainChecksum());
    EXPECT_EQ(good, bank.syxData());
    EXPECT_EQ(nibbleField(good, 16389), bank.chainChecksum());
}

TEST(AllDataCodec, DecodesNibblePairsWithTheUnmaskedLowNibbleByte)
{
    // 0x1F|0x02: the low-nibble byte's bit 4 is ORed in; 0x03|0x12: the
    // high-nibble byte's bit 4 falls off in the shift.
    const std::uint8_t pairs[][3] = {
        {0x0F, 0x0F, 0xFF}, {0x1F, 0x02, 0x3F}, {0x03, 0x12, 0x23}, {0x00, 0x00, 0x00}};
    for (const auto& [low, high, decoded] : pairs) {
        auto file = wellFormedAllDataFile();
        file[5] = low; // the first chain byte
        file[6] = high;
        const Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(file);
        ASSERT_TRUE(bank.ok());
        EXPECT_EQ(decoded, bank->data().chain[0]) << int(low) << "," << int(high);
    }
}

// Both sums start at their own values and wrap modulo 65536; every written
// file is MIDI-clean between its ends.
TEST(AllDataCodec, ChecksumsFromTheirStartValuesModulo65536)
{
    struct Case
    {
        std::uint8_t chainFill, patchFill;
        unsigned chainSum, patchSum;
    };
    for (const Case c : {Case{0x00, 0x00, 0xF000, 0x7380}, Case{0xFF, 0xFF, 0xD000, 0x5A80}}) {
        auto bank = A3AllDataSource::fallbackBank();
        A3AllData record = bank.data();
        record.chain.fill(c.chainFill);
        for (auto& patch : record.patch) {
            patch.fill(c.patchFill);
        }
        bank.setData(record);
        const auto file = bank.syxData();
        EXPECT_EQ(c.chainSum, nibbleField(file, 16389));
        EXPECT_EQ(c.patchSum, nibbleField(file, 29193));
        EXPECT_EQ(c.chainSum, bank.chainChecksum());
        EXPECT_TRUE(std::all_of(file.begin() + 1, file.end() - 1, [](auto b) { return b < 0x80; }));
    }
}

} // namespace

} // namespace a3
