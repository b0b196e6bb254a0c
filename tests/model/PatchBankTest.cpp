// The bank's operations: creation from the factory bank or the fallback
// content, names, chain numbers and their text, whole patch images and
// blocks of them, and their preconditions.

#include "A3AllDataSource.h"
#include "PatchBlock.h"
#include "PatchText.h"
#include "TempDir.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace a3 {
namespace {

class PatchBank : public ::testing::Test
{
protected:
    void setNameBytes(std::int64_t row, std::vector<std::uint8_t> name)
    {
        auto patch = bank.patchDataAt(row);
        std::ranges::copy(name, patch.begin() + kPatchNameOffset);
        bank.setPatchData(patch, row);
    }
    bool recordIs(const A3AllData& expected) const
    {
        const A3AllData now = bank.data();
        return std::memcmp(&expected, &now, kRecordSize) == 0;
    }

    A3AllDataSource bank = A3AllDataSource::fallbackBank();
};

// A factory bank file that is missing or short gives nothing, for the caller
// to fall back on the fallback content; a longer one is read as far as a bank
// goes.
TEST_F(PatchBank, StartsFromTheFactoryBankOrTheFallbackContent)
{
    test::TempDir dir;
    auto body = test::readBytes(A3_FACTORY_BANK_PATH);
    ASSERT_EQ(kDumpBodySize, body.size());
    test::writeBytes(dir / "short", std::span(body).first(kDumpBodySize - 1));
    body.insert(body.end(), 100, 0xEE);
    test::writeBytes(dir / "long", body);

    const A3AllDataSource fallback = A3AllDataSource::fallbackBank();
    for (const auto& missing : {dir / "none", dir / "short"}) {
        EXPECT_FALSE(A3AllDataSource::fromFactoryBank(missing)) << missing;
    }
    EXPECT_EQ(100, fallback.numberOfRows());
    for (std::int64_t i = 0; i < fallback.numberOfRows(); ++i) {
        EXPECT_EQ("Metalic", fallback.patchNameAt(i));
        EXPECT_EQ(3, fallback.chainAtIndex(i));
    }
    A3AllDataSource written = fallback;
    EXPECT_EQ(0, written.chainChecksum());
    written.syxData();
    EXPECT_EQ(0xF000, written.chainChecksum());
    EXPECT_EQ(0x18D8, written.data().checksum2[0] | (written.data().checksum2[1] << 8));

    const std::optional<A3AllDataSource> factory = A3AllDataSource::fromFactoryBank(dir / "long");
    ASSERT_TRUE(factory);
    const A3AllData record = factory->data();
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + kDumpBodySize,
                           reinterpret_cast<const std::uint8_t*>(&record) + kHeaderSize));
    EXPECT_TRUE(
        std::equal(kAllDataHeader.begin(), kAllDataHeader.end(), record.sysExHeader.begin()));
}

TEST_F(PatchBank, NamesArePaddedTruncatedAndFilteredAndTouchOnlyTheirBytes)
{
    using Bytes = std::vector<std::uint8_t>;
    // Tab, 0x1F and 0x80 become spaces; 0x20 and 0x7F are kept. A character
    // outside the 16-bit range is two code units: two spaces; "é" as one code
    // unit is one space; "e" plus a combining mark is "e ".
    // A name is read up to its own end, not to the text beyond it.
    const std::pair<std::u16string_view, Bytes> names[] = {
        {std::u16string_view(u"PadMore").substr(0, 3), Bytes{'P', 'a', 'd', ' ', ' ', ' ', ' '}},
        {u"NineChars", Bytes{'N', 'i', 'n', 'e', 'C', 'h', 'a'}},
        {u"", Bytes(7, ' ')},
        {u"\tA\x1F\x7F\x80 B", Bytes{' ', 'A', ' ', 0x7F, ' ', ' ', 'B'}},
        {u"\U0001F3B8x\u00E9e\u0301", Bytes{' ', ' ', 'x', ' ', 'e', ' ', ' '}},
    };
    for (const auto& [name, bytes] : names) {
        A3AllData expected = bank.data();
        std::ranges::copy(bytes, expected.patch[42].begin() + kPatchNameOffset);
        bank.setPatchName(name, 42);
        EXPECT_TRUE(recordIs(expected)) << std::string(bytes.begin(), bytes.end());
    }
    EXPECT_EQ("  x e  ", bank.patchNameAt(42));
}

TEST_F(PatchBank, NameReadingStopsBeforeAZeroByteAndReadsHighBytesAsLatin1)
{
    setNameBytes(7, {0x41, 0x42, 0x43, 0x00, 0x44, 0x45, 0x46});
    EXPECT_EQ("ABC", bank.patchNameAt(7));
    setNameBytes(8, {0xE9, 0xFF, 0x80, 0x20, 0x20, 0x20, 0x20});
    EXPECT_EQ("\u00E9\u00FF\u0080    ", bank.patchNameAt(8));
    setNameBytes(9, {0x00, 0x41});
    EXPECT_EQ("", bank.patchNameAt(9));

    // A text listing keeps each patch on its line and sends no control
    // character (C0, DEL, C1) to a terminal; Latin-1 letters stay.
    setNameBytes(10, {0x1B, '[', '2', 'J', 0x0A, 0x7F, 0x9B});
    const std::string listing = textListing(bank, "b.syx");
    EXPECT_NE(std::string::npos, listing.find("\n 11 :  03   : ?[2J???\n 12 :")) << listing;
    EXPECT_NE(std::string::npos, listing.find("\n  9 :  03   : \u00E9\u00FF?    \n"));
}

// Chain numbers read unmasked; from 128 on they refer to the chain data.
TEST_F(PatchBank, ChainNumbersAndTheirTexts)
{
    const std::pair<std::uint8_t, const char*> chains[] = {
        {0, "00"}, {9, "09"}, {100, "100"}, {127, "127"}, {128, "C0"}, {138, "C10"}, {255, "C127"}};
    for (const auto& [value, text] : chains) {
        auto patch = bank.patchDataAt(0);
        patch[0] = value;
        bank.setPatchData(patch, 0);
        EXPECT_EQ(value, bank.chainAtIndex(0));
        EXPECT_EQ(text, chainText(value));
        EXPECT_EQ(value >= 128, patchPayload(bank, std::vector<std::int64_t>{0}).refersToChainData);
    }
    EXPECT_EQ("  1 :  00   : Pad    ", patchLine(0, 0, "Pad    "));
    EXPECT_EQ("100 :  C127   : x", patchLine(99, 255, "x"));
    EXPECT_EQ("Chain ID: 00af", chainIdText(0x00AF));
    EXPECT_EQ("Chain ID: abcd", chainIdText(0xABCD));
    EXPECT_TRUE(patchesFitBank(false, 0x1234, 0x4321));
    EXPECT_TRUE(patchesFitBank(true, 0x1234, 0x1234));
    EXPECT_FALSE(patchesFitBank(true, 0x1234, 0x1235));
}

// Control characters show as '?' (a C1 one, two bytes, as one); every other
// character as it is, the no-break space and what follows it included.
TEST(PrintablePatchName, ShowsEachControlCharacterAsAQuestionMark)
{
    EXPECT_EQ("?A?B?C?", printablePatchName("\x1B"
                                            "A\x7F"
                                            "B\xC2\x9F"
                                            "C\n"));
    EXPECT_EQ("\xC2\xA0x \xC3\xA9\xC2\xBFz\xC2",
              printablePatchName("\xC2\xA0x \xC3\xA9\xC2\xBFz\xC2"));
}

TEST_F(PatchBank, PatchImagesCopyWholeAndLeaveTheRestAlone)
{
    bank.setPatchName(u"Source", 5);
    std::vector<std::uint8_t> longer = bank.patchDataAt(5);
    longer[0] = 200;
    longer.resize(80, 0xAA); // bytes beyond 64 are ignored
    A3AllData expected = bank.data();
    std::copy_n(longer.begin(), kPatchSize, expected.patch[60].begin());
    bank.setPatchData(longer, 60);
    EXPECT_TRUE(recordIs(expected));
    EXPECT_EQ("Source ", bank.patchNameAt(60));
}

TEST_F(PatchBank, PatchBlocksAreWrittenAllOrNothing)
{
    for (std::int64_t i = 0; i < 3; ++i) {
        bank.setPatchName(std::u16string(1, static_cast<char16_t>(u'A' + i)), i);
    }
    const PatchPayload payload = patchPayload(bank, std::vector<std::int64_t>{0, 1, 2});
    ASSERT_EQ(3 * kPatchSize, payload.bytes.size());
    const std::span twoAndABit = std::span(payload.bytes).first(130);
    EXPECT_EQ(2, patchImageCount(twoAndABit));

    const A3AllData before = bank.data();
    EXPECT_FALSE(writePatchBlock(bank, std::span(twoAndABit).first(63), 0));
    for (std::int64_t row :
         {std::int64_t{-1}, std::int64_t{98}, INT64_MAX - 1, INT64_MAX, INT64_MIN}) {
        EXPECT_FALSE(writePatchBlock(bank, payload.bytes, row)) << row;
    }
    EXPECT_TRUE(recordIs(before));
    EXPECT_TRUE(writePatchBlock(bank, payload.bytes, 97));
    EXPECT_EQ("A      ", bank.patchNameAt(97));
    EXPECT_EQ("C      ", bank.patchNameAt(99));
}

TEST_F(PatchBank, BrokenPreconditionsNeverReachOutsideTheRecord)
{
    const A3AllData before = bank.data();
    for (std::int64_t index : {std::int64_t{-1}, std::int64_t{100}, INT64_MAX, INT64_MIN}) {
        EXPECT_DEBUG_DEATH(EXPECT_EQ(0, bank.chainAtIndex(index)), "isValidIndex");
        EXPECT_DEBUG_DEATH(EXPECT_EQ("", bank.patchNameAt(index)), "isValidIndex");
        EXPECT_DEBUG_DEATH(EXPECT_TRUE(bank.patchDataAt(index).empty()), "isValidIndex");
        EXPECT_DEBUG_DEATH(bank.setPatchName(u"x", index), "isValidIndex");
        EXPECT_DEBUG_DEATH(bank.setPatchData(bank.patchDataAt(0), index), "isValidIndex");
    }
    EXPECT_DEBUG_DEATH(bank.setPatchData(std::vector<std::uint8_t>(63, 0xAA), 0), "kPatchSize");
    EXPECT_TRUE(recordIs(before));
}

} // namespace
} // namespace a3
