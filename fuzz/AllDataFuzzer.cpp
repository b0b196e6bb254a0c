// Any bytes read as an All-Data file, then the bank written: the bank takes
// exactly the files the file rules let through, the file written always has
// the shape of one, a refused file changes nothing, a well-formed file comes
// back byte for byte, and the tolerated defects are found exactly in the
// files taken that are not well formed.
//
// Each input is decoded once and the bank written once into a buffer kept
// for the whole run; only a written file that is not the input itself is
// decoded again, to see that it reads back.

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "Require.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using namespace a3;
using a3::fuzz::require;

// The sum of the record bytes [from, from + count) from their nibble pairs;
// decoded here on its own so that the codec is not checked against itself.
// Meant for files with nibbles only, so the high nibble is not masked. (The
// uninstrumented checks take plain pointers: a library call made in them,
// such as a span's, is not inlined there and would run once a byte.)
A3_FUZZ_UNINSTRUMENTED unsigned recordSum(const std::uint8_t* file, std::size_t from,
                                          std::size_t count)
{
    const std::uint8_t* pairs = file + kHeaderSize + 2 * (from - kHeaderSize);
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += pairs[2 * i] | static_cast<unsigned>(pairs[2 * i + 1] << 4);
    }
    return sum;
}

A3_FUZZ_UNINSTRUMENTED bool checksumHolds(const std::uint8_t* file, unsigned start,
                                          std::size_t from, std::size_t count, std::size_t stored)
{
    return ((start + recordSum(file, from, count)) & 0xFFFF) ==
           recordSum(file, stored, 1) + (recordSum(file, stored + 1, 1) << 8);
}

// Whether every byte is a nibble: no byte has a bit above the low four.
A3_FUZZ_UNINSTRUMENTED bool hasOnlyNibbles(const std::uint8_t* bytes, std::size_t count)
{
    unsigned bits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        bits |= bytes[i];
    }
    return bits <= 0x0F;
}

// As the device writes a file: one the bank takes, with nibbles only, both
// checksums by the rules and F7 last.
bool isWellFormed(std::span<const std::uint8_t> file)
{
    return checkAllDataFile(file).ok() && file.back() == kEndOfExclusive &&
           hasOnlyNibbles(file.data() + kHeaderSize, 2 * kDumpBodySize) &&
           checksumHolds(file.data(), kChainChecksumStart, offsetof(A3AllData, chain),
                         kChainDataSize, offsetof(A3AllData, checksum)) &&
           checksumHolds(file.data(), kPatchChecksumStart, offsetof(A3AllData, patch),
                         kPatchCount * kPatchSize, offsetof(A3AllData, checksum2));
}

bool sameRecord(const A3AllData& left, const A3AllData& right)
{
    return std::memcmp(&left, &right, kRecordSize) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Kept for the whole run: a bank is restored by setData, not rebuilt, and
    // files are written into the same buffer.
    static A3AllDataSource bank = A3AllDataSource::fallbackBank();
    static A3AllDataSource reread = A3AllDataSource::fallbackBank();
    static const A3AllData newBank = bank.data();
    static std::array<std::uint8_t, kAllDataFileSize> file;
    const std::span<const std::uint8_t> input(data, size);

    bank.setData(newBank);
    const bool accepted = bank.setSyxData(input).ok();
    require(accepted == checkAllDataFile(input).ok(), "the bank takes what the file rules allow");
    const bool wellFormed = accepted && isWellFormed(input);
    require(toleratedDefects(input).empty() == (!accepted || wellFormed),
            "defects are reported exactly for taken files that are not well formed");
    if (!accepted) {
        require(sameRecord(bank.data(), newBank), "a refused file changed the bank");
    }

    bank.writeSyxData(file);
    std::array<std::uint8_t, kHeaderSize> header = kAllDataHeader;
    if (!accepted) {
        std::ranges::copy(newBank.sysExHeader, header.begin());
        header[4] = newBank.sysExType;
    }
    require(std::equal(header.begin(), header.end(), file.begin()),
            "the written file starts with the bank's header");
    require(isWellFormed(file), "the written file is well formed, so it ends in F7");
    if (wellFormed) {
        // The written file is the input, which was just read.
        require(std::ranges::equal(input, file), "a well-formed file round-trips");
    } else {
        // Writing stored the computed checksums, so the bank now holds what
        // its file says.
        require(reread.setSyxData(file).ok() && sameRecord(reread.data(), bank.data()),
                "a written file reads back to the same bank");
    }
    return 0;
}
