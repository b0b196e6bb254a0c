#include "AllDataFile.h"

#include "A3AllDataSource.h"
#include "FileReader.h"
#include "NibbleKernels.h"

#include <cstdio>

namespace a3 {
namespace {

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string hexWord(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::uint16_t littleEndian(const std::array<std::uint8_t, 2>& field)
{
    return static_cast<std::uint16_t>(field[0] | (field[1] << 8));
}

} // namespace

Outcome checkAllDataLength(std::uintmax_t length)
{
    if (length == kAllDataFileSize) {
        return {};
    }
    return Failure{"wrong length: " + std::to_string(length) + " bytes, expected " +
                   std::to_string(kAllDataFileSize)};
}

Outcome checkAllDataFile(std::span<const std::uint8_t> file)
{
    if (Outcome length = checkAllDataLength(file.size()); !length.ok()) {
        return length;
    }
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        if (file[i] != kAllDataHeader[i]) {
            return Failure{"wrong header: byte " + std::to_string(i) + " is " + hexByte(file[i]) +
                           ", expected " + hexByte(kAllDataHeader[i])};
        }
    }
    return {};
}

Result<std::vector<std::uint8_t>, BankFileFailure>
readAllDataFile(const std::filesystem::path& path)
{
    using Kind = BankFileFailure::Kind;
    FileRead read = readFileBounded(path, kAllDataFileSize);
    if (!read.ok()) {
        const ReadFailure& failure = read.failure();
        if (failure.tooLarge()) {
            return BankFileFailure{Kind::NotABank,
                                   checkAllDataLength(failure.size).failure().reason};
        }
        return BankFileFailure{Kind::Unreadable, failure.reason};
    }
    if (Outcome checked = checkAllDataFile(*read); !checked.ok()) {
        return BankFileFailure{Kind::NotABank, checked.failure().reason};
    }
    return std::move(read).value();
}

std::vector<std::string> toleratedDefects(std::span<const std::uint8_t> file)
{
    std::vector<std::string> defects;
    Result<A3AllDataSource> taken = A3AllDataSource::fromSyxData(file);
    if (!taken.ok()) {
        return defects;
    }
    A3AllDataSource& bank = *taken;
    // Writing the bank computes both checksums and stores them in its record;
    // the file it writes is not needed, so it goes to a buffer of this call.
    const A3AllData stored = bank.data();
    std::array<std::uint8_t, kAllDataFileSize> rewritten;
    bank.writeSyxData(rewritten);
    const A3AllData computed = bank.data();
    const auto compare = [&](const char* what, const std::array<std::uint8_t, 2>& storedField,
                             const std::array<std::uint8_t, 2>& computedField) {
        if (storedField != computedField) {
            defects.push_back(std::string(what) + " checksum " +
                              hexWord(littleEndian(storedField)) + " stored, " +
                              hexWord(littleEndian(computedField)) + " computed");
        }
    };
    compare("chain", stored.checksum, computed.checksum);
    compare("patch", stored.checksum2, computed.checksum2);

    if (file.back() != kEndOfExclusive) {
        defects.push_back("last byte is " + hexByte(file.back()) + ", expected " +
                          hexByte(kEndOfExclusive));
    }
    if (const std::size_t highNibbles =
            nibble::countAbove0F(file.data() + kHeaderSize, 2 * kDumpBodySize);
        highNibbles > 0) {
        defects.push_back(std::to_string(highNibbles) + " nibble bytes above 0x0F");
    }
    return defects;
}

} // namespace a3
