// Any bytes read as an All-Data file, then the bank written: the bank takes
// exactly the files the file rules let through, the file written always has
// the shape of one, a refused file changes nothing, a well-formed file comes
// back byte for byte, and the tolerated defects are found exactly in the
// files taken that are not well formed.

#include "A3AllDataSource.h"
#include "AllDataFile.h"
#include "Require.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using namespace a3;
using a3::fuzz::require;

// The record byte at offset (past the header) from its two nibble bytes;
// decoded here on its own so that the codec is not checked against itself.
unsigned recordByte(std::span<const std::uint8_t> file, std::size_t offset)
{
    const std::size_t at = kHeaderSize + 2 * (offset - kHeaderSize);
    return file[at] | static_cast<unsigned>(file[at + 1] << 4);
}

bool checksumHolds(std::span<const std::uint8_t> file, unsigned start, std::size_t from,
                   std::size_t count, std::size_t stored)
{
    unsigned sum = start;
    for (std::size_t offset = from; offset < from + count; ++offset) {
        sum += recordByte(file, offset);
    }
    return (sum & 0xFFFF) == (recordByte(file, stored) | recordByte(file, stored + 1) << 8);
}

// As the device writes a file: one the bank takes, with nibbles only, both
// checksums by the rules and F7 last.
bool isWellFormed(std::span<const std::uint8_t> file)
{
    if (allDataFileProblem(file) || file.back() != kEndOfExclusive) {
        return false;
    }
    const auto nibbles = file.subspan(kHeaderSize, 2 * kDumpBodySize);
    return std::ranges::all_of(nibbles, [](std::uint8_t byte) { return byte <= 0x0F; }) &&
           checksumHolds(file, kChainChecksumStart, offsetof(A3AllData, chain), kChainDataSize,
                         offsetof(A3AllData, checksum)) &&
           checksumHolds(file, kPatchChecksumStart, offsetof(A3AllData, patch),
                         kPatchCount * kPatchSize, offsetof(A3AllData, checksum2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const A3AllDataSource newBank = A3AllDataSource::fallbackBank();
    const std::span<const std::uint8_t> input(data, size);

    A3AllDataSource bank = newBank;
    const A3AllData before = bank.data();
    const bool accepted = bank.setSyxData(input);
    require(accepted == !allDataFileProblem(input), "the bank takes what the file rules allow");
    require(toleratedDefects(input).empty() == (!accepted || isWellFormed(input)),
            "defects are reported exactly for taken files that are not well formed");
    if (!accepted) {
        const A3AllData after = bank.data();
        require(std::memcmp(&before, &after, kRecordSize) == 0, "a refused file changed the bank");
    }

    const std::vector<std::uint8_t> file = bank.syxData();
    require(file.size() == kAllDataFileSize && file.back() == kEndOfExclusive,
            "the written file is 29198 bytes ending in F7");
    std::array<std::uint8_t, kHeaderSize> header = kAllDataHeader;
    if (!accepted) {
        std::ranges::copy(before.sysExHeader, header.begin());
        header[4] = before.sysExType;
    }
    require(std::equal(header.begin(), header.end(), file.begin()),
            "the written file starts with the bank's header");
    require(isWellFormed(file), "the written file is well formed");
    if (accepted && isWellFormed(input)) {
        require(std::ranges::equal(input, file), "a well-formed file round-trips");
    }

    A3AllDataSource reread = newBank;
    require(reread.setSyxData(file) && reread.syxData() == file,
            "a written file reads back to the same bank");
    return 0;
}
