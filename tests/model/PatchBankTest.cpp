// The bank's operations: creation from the factory bank or the fallback
// content, names, chain numbers, whole patch images and their preconditions.

#include "A3AllDataSource.h"
#include "PatchBlock.h"
#include "PatchText.h"
#include "SystemLog.h"
#include "TempDir.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <set>

namespace a3 {
namespace {

std::vector<std::string> loggedLines;
void recordLog(std::string_view line)
{
    loggedLines.emplace_back(line);
}

class PatchBank : public ::testing::Test
{
protected:
    void SetUp() override
    {
        loggedLines.clear();
        previous = installLogHandler(&recordLog);
    }
    void TearDown() override { installLogHandler(previous); }

    LogHandler previous = nullptr;
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
};

std::vector<std::uint8_t> nameBytes(const A3AllDataSource& bank, std::int64_t index)
{
    const auto patch = bank.patchDataAt(index);
    return {patch.begin() + 9, patch.begin() + 16};
}

std::vector<std::uint8_t> bytesOf(std::string_view text)
{
    return {text.begin(), text.end()};
}

TEST_F(PatchBank, FallbackContentWhenTheFactoryBankIsMissing)
{
    A3AllDataSource missing{std::filesystem::path{"/nonexistent/A3FactoryPreset"}};
    EXPECT_EQ(std::vector<std::string>{"A3 Factory Preset file is missing."}, loggedLines);
    EXPECT_EQ(100, missing.numberOfRows());
    for (std::int64_t i = 0; i < missing.numberOfRows(); ++i) {
        EXPECT_EQ("Metalic", missing.patchNameAt(i));
        EXPECT_EQ(3, missing.chainAtIndex(i));
    }
    EXPECT_EQ(0, missing.chainChecksum());
    missing.syxData();
    EXPECT_EQ(0xF000, missing.chainChecksum());
    const A3AllData record = missing.data();
    EXPECT_EQ(0x18D8, record.checksum2[0] | (record.checksum2[1] << 8));
}

TEST_F(PatchBank, TheFallbackBankIsMadeWithoutLookingForTheFactoryBank)
{
    const A3AllDataSource fallback = A3AllDataSource::fallbackBank();
    EXPECT_TRUE(loggedLines.empty());
    EXPECT_EQ("Metalic", fallback.patchNameAt(99));
    EXPECT_EQ(0, fallback.chainChecksum());
}

TEST_F(PatchBank, ShortFactoryBankCountsAsMissing)
{
    test::TempDir dir;
    const auto body = test::readBytes(A3_FACTORY_BANK_PATH);
    test::writeBytes(dir / "short", std::span(body).first(kDumpBodySize - 1));
    A3AllDataSource bankFromShort{dir / "short"};
    EXPECT_EQ(1u, loggedLines.size());
    EXPECT_EQ("Metalic", bankFromShort.patchNameAt(50));
}

TEST_F(PatchBank, FactoryBankIsReadAsItStandsAndExtraBytesAreIgnored)
{
    test::TempDir dir;
    auto body = test::readBytes(A3_FACTORY_BANK_PATH);
    ASSERT_EQ(kDumpBodySize, body.size());
    body.insert(body.end(), 100, 0xEE);
    test::writeBytes(dir / "long", body);
    A3AllDataSource factory{dir / "long"};
    EXPECT_TRUE(loggedLines.empty());
    const A3AllData record = factory.data();
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + kDumpBodySize,
                           reinterpret_cast<const std::uint8_t*>(&record) + kHeaderSize));
    const auto file = factory.syxData();
    EXPECT_TRUE(std::equal(kAllDataHeader.begin(), kAllDataHeader.end(), file.begin()));
}

TEST_F(PatchBank, ShippedFactoryBankIsPlausibleAndSavesUnchanged)
{
    A3AllDataSource factory{std::filesystem::path{A3_FACTORY_BANK_PATH}};
    EXPECT_TRUE(loggedLines.empty());
    std::set<std::string> names;
    std::set<std::string> chainTexts;
    for (std::int64_t i = 0; i < factory.numberOfRows(); ++i) {
        names.insert(factory.patchNameAt(i));
        chainTexts.insert(chainText(factory.chainAtIndex(i)));
    }
    EXPECT_EQ(100u, names.size());
    EXPECT_TRUE(chainTexts.contains("00") && chainTexts.contains("127"));
    EXPECT_TRUE(chainTexts.contains("C0") && chainTexts.contains("C127"));
    const A3AllData record = factory.data();
    EXPECT_TRUE(std::any_of(record.chain.begin(), record.chain.end(), [](auto b) { return b; }));

    // Open-then-save changes no byte: the stored checksums follow the rules.
    const auto saved = factory.syxData();
    const A3AllData afterSave = factory.data();
    EXPECT_EQ(0, std::memcmp(&record, &afterSave, kRecordSize));
    A3AllDataSource reopened = A3AllDataSource::fallbackBank();
    ASSERT_TRUE(reopened.setSyxData(saved));
    EXPECT_EQ(saved, reopened.syxData());
}

TEST_F(PatchBank, NamesArePaddedTruncatedAndFiltered)
{
    bank.setPatchName(u"Pad", 0);
    EXPECT_EQ(bytesOf("Pad    "), nameBytes(bank, 0));
    EXPECT_EQ("Pad    ", bank.patchNameAt(0));

    bank.setPatchName(u"NineChars", 1);
    EXPECT_EQ("NineCha", bank.patchNameAt(1));

    bank.setPatchName(u"", 2);
    EXPECT_EQ("       ", bank.patchNameAt(2));

    // Tab, 0x1F and 0x80 become spaces; 0x20 and 0x7F are kept.
    bank.setPatchName(u"\tA\x1F\x7F\x80 B", 3);
    EXPECT_EQ((std::vector<std::uint8_t>{0x20, 'A', 0x20, 0x7F, 0x20, 0x20, 'B'}),
              nameBytes(bank, 3));

    // A character outside the 16-bit range is two code units: two spaces.
    // "é" as one code unit is one space; "e" plus a combining mark is "e ".
    bank.setPatchName(u"\U0001F3B8x\u00E9e\u0301", 4);
    EXPECT_EQ(bytesOf("  x e  "), nameBytes(bank, 4));
}

TEST_F(PatchBank, RenamingTouchesOnlyTheSevenNameBytes)
{
    const A3AllData before = bank.data();
    bank.setPatchName(u"Renamed", 42);
    const A3AllData after = bank.data();
    const auto* a = reinterpret_cast<const std::uint8_t*>(&before);
    const auto* b = reinterpret_cast<const std::uint8_t*>(&after);
    const std::size_t nameStart = offsetof(A3AllData, patch) + 42 * kPatchSize + 9;
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        if (i < nameStart || i >= nameStart + 7) {
            ASSERT_EQ(a[i], b[i]) << "record byte " << i;
        }
    }
}

TEST_F(PatchBank, NameReadingStopsBeforeAZeroByteAndReadsHighBytesAsLatin1)
{
    auto patch = bank.patchDataAt(7);
    const std::uint8_t withZero[] = {0x41, 0x42, 0x43, 0x00, 0x44, 0x45, 0x46};
    std::copy(std::begin(withZero), std::end(withZero), patch.begin() + 9);
    bank.setPatchData(patch, 7);
    EXPECT_EQ("ABC", bank.patchNameAt(7));

    const std::uint8_t latin1[] = {0xE9, 0xFF, 0x80, 0x20, 0x20, 0x20, 0x20};
    std::copy(std::begin(latin1), std::end(latin1), patch.begin() + 9);
    bank.setPatchData(patch, 8);
    EXPECT_EQ("\u00E9\u00FF\u0080    ", bank.patchNameAt(8));

    patch[9] = 0x00;
    bank.setPatchData(patch, 9);
    EXPECT_EQ("", bank.patchNameAt(9));

    // A text listing keeps each patch on its line and sends no control
    // character (C0, DEL, C1) to a terminal; Latin-1 letters stay.
    const std::uint8_t controls[] = {0x1B, '[', '2', 'J', 0x0A, 0x7F, 0x9B};
    std::copy(std::begin(controls), std::end(controls), patch.begin() + 9);
    bank.setPatchData(patch, 10);
    const std::string listing = textListing(bank, "b.syx");
    EXPECT_NE(std::string::npos, listing.find("\n 11 :  03   : ?[2J???\n 12 :")) << listing;
    EXPECT_NE(std::string::npos, listing.find("\n  9 :  03   : \u00E9\u00FF?    \n"));
}

TEST_F(PatchBank, PatchImagesCopyWholeAndLeaveTheRestAlone)
{
    bank.setPatchName(u"Source", 5);
    std::vector<std::uint8_t> longer = bank.patchDataAt(5);
    longer[0] = 200;
    longer.resize(80, 0xAA); // bytes beyond 64 are ignored
    const auto chainChecksum = bank.chainChecksum();
    const A3AllData before = bank.data();

    bank.setPatchData(longer, 60);
    EXPECT_EQ(std::vector<std::uint8_t>(longer.begin(), longer.begin() + 64), bank.patchDataAt(60));
    EXPECT_EQ(200, bank.chainAtIndex(60));
    EXPECT_EQ("Source ", bank.patchNameAt(60));
    EXPECT_EQ(chainChecksum, bank.chainChecksum());
    const A3AllData after = bank.data();
    for (std::size_t p = 0; p < kPatchCount; ++p) {
        if (p != 60) {
            EXPECT_EQ(before.patch[p], after.patch[p]) << p;
        }
    }
    EXPECT_EQ(before.checksum2, after.checksum2);
}

TEST_F(PatchBank, ChainNumbersReadUnmasked)
{
    for (std::uint8_t value :
         {std::uint8_t{0}, std::uint8_t{127}, std::uint8_t{128}, std::uint8_t{255}}) {
        auto patch = bank.patchDataAt(0);
        patch[0] = value;
        bank.setPatchData(patch, 0);
        EXPECT_EQ(value, bank.chainAtIndex(0));
    }
}

TEST_F(PatchBank, BrokenPreconditionsNeverReachOutsideTheRecord)
{
    const A3AllData before = bank.data();
    const std::vector<std::uint8_t> shortPatch(63, 0xAA);
    for (std::int64_t index : {std::int64_t{-1}, std::int64_t{100}, INT64_MAX, INT64_MIN}) {
        EXPECT_DEBUG_DEATH(EXPECT_EQ(0, bank.chainAtIndex(index)), "isValidIndex");
        EXPECT_DEBUG_DEATH(EXPECT_EQ("", bank.patchNameAt(index)), "isValidIndex");
        EXPECT_DEBUG_DEATH(EXPECT_TRUE(bank.patchDataAt(index).empty()), "isValidIndex");
        EXPECT_DEBUG_DEATH(bank.setPatchName(u"x", index), "isValidIndex");
        EXPECT_DEBUG_DEATH(bank.setPatchData(bank.patchDataAt(0), index), "isValidIndex");
    }
    EXPECT_DEBUG_DEATH(bank.setPatchData(shortPatch, 0), "kPatchSize");
    const A3AllData after = bank.data();
    EXPECT_EQ(0, std::memcmp(&before, &after, kRecordSize));
}

TEST_F(PatchBank, ChainTextsFollowTheDisplayRule)
{
    EXPECT_EQ("00", chainText(0));
    EXPECT_EQ("09", chainText(9));
    EXPECT_EQ("100", chainText(100));
    EXPECT_EQ("127", chainText(127));
    EXPECT_EQ("C0", chainText(128));
    EXPECT_EQ("C10", chainText(138));
    EXPECT_EQ("C127", chainText(255));
    EXPECT_EQ("  1 :  00   : Pad    ", patchLine(0, 0, "Pad    "));
    EXPECT_EQ("100 :  C127   : x", patchLine(99, 255, "x"));
    EXPECT_EQ("Chain ID: 0000", chainIdText(0));
    EXPECT_EQ("Chain ID: 00af", chainIdText(0x00AF));
    EXPECT_EQ("Chain ID: abcd", chainIdText(0xABCD));
}

TEST_F(PatchBank, PatchBlocksAreWrittenAllOrNothing)
{
    for (std::int64_t i = 0; i < 3; ++i) {
        bank.setPatchName(std::u16string(1, static_cast<char16_t>(u'A' + i)), i);
    }
    const std::int64_t rows[] = {0, 1, 2};
    const PatchPayload payload = patchPayload(bank, rows);
    ASSERT_EQ(3 * kPatchSize, payload.bytes.size());
    EXPECT_FALSE(payload.refersToChainData);

    EXPECT_FALSE(writePatchBlock(bank, payload.bytes, 98)); // would run past row 99
    EXPECT_EQ("Metalic", bank.patchNameAt(98));
    EXPECT_TRUE(writePatchBlock(bank, payload.bytes, 97));
    EXPECT_EQ("A      ", bank.patchNameAt(97));
    EXPECT_EQ("C      ", bank.patchNameAt(99));

    std::vector<std::uint8_t> twoAndABit(payload.bytes.begin(), payload.bytes.begin() + 130);
    EXPECT_EQ(2, patchImageCount(twoAndABit));
    EXPECT_FALSE(writePatchBlock(bank, std::span(twoAndABit).first(63), 0));
    EXPECT_FALSE(writePatchBlock(bank, twoAndABit, -1));

    auto patch = bank.patchDataAt(1);
    patch[0] = 128;
    bank.setPatchData(patch, 1);
    EXPECT_TRUE(patchPayload(bank, rows).refersToChainData);
}

TEST(ChainRule, PatchesUsingChainDataGoOnlyToABankWithTheSameChainData)
{
    EXPECT_TRUE(patchesFitBank(false, 0x1234, 0x1234));
    EXPECT_TRUE(patchesFitBank(false, 0x1234, 0x4321));
    EXPECT_TRUE(patchesFitBank(true, 0x1234, 0x1234));
    EXPECT_FALSE(patchesFitBank(true, 0x1234, 0x1235));
}

TEST_F(PatchBank, PatchBlocksFarPastTheLastRowWriteNothing)
{
    const std::vector<std::uint8_t> twoPatches(2 * kPatchSize, 0x5A);
    const A3AllData before = bank.data();
    for (std::int64_t row :
         {std::int64_t{99}, std::numeric_limits<std::int64_t>::max() - 1,
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
        EXPECT_FALSE(writePatchBlock(bank, twoPatches, row)) << row;
    }
    const A3AllData after = bank.data();
    EXPECT_EQ(0, std::memcmp(&before, &after, kRecordSize));
}

} // namespace
} // namespace a3
