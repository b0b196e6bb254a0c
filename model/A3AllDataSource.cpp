#include "A3AllDataSource.h"

#include "AllDataFile.h"
#include "FileReader.h"
#include "NibbleKernels.h"
#include "PatchText.h"

#include <algorithm>
#include <cassert>
#include <system_error>

namespace a3 {

const std::array<std::uint8_t, kPatchSize> kFallbackPatch{
    0x03, 0x14, 0x09, 0x07, 0xFF, 0x18, 0x00, 0x10, 0x02, 0x4D, 0x65, 0x74, 0x61, 0x6C, 0x69, 0x63,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x64, 0x46, 0x0C, 0x18, 0x00, 0x00, 0x10, 0x16, 0x07, 0x00,
    0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x32,
    0x64, 0x00, 0x00, 0x1C, 0x12, 0x08, 0x50, 0x07, 0x0E, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

namespace {

// Far more than a dump body, so that a factory bank with bytes appended still
// loads, and little enough that a wrong file is not read at length.
constexpr std::uintmax_t kMaxFactoryBankSize = std::uintmax_t{1} << 20;

// The dump body: every record byte after the header, in record order.
std::span<std::uint8_t, kDumpBodySize> dumpBody(A3AllData& record)
{
    return std::span<std::uint8_t, kRecordSize>(reinterpret_cast<std::uint8_t*>(&record),
                                                kRecordSize)
        .subspan<kHeaderSize>();
}

void storeLittleEndian(std::array<std::uint8_t, 2>& field, std::uint16_t value)
{
    field[0] = static_cast<std::uint8_t>(value & 0xFF);
    field[1] = static_cast<std::uint8_t>(value >> 8);
}

bool isValidIndex(std::int64_t index)
{
    return index >= 0 && index < static_cast<std::int64_t>(kPatchCount);
}

void appendUtf8(std::string& text, std::uint8_t byte)
{
    if (byte < 0x80) {
        text.push_back(static_cast<char>(byte));
        return;
    }
    text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
}

} // namespace

A3AllDataSource::A3AllDataSource()
{
    std::copy_n(kAllDataHeader.begin(), 4, _data.sysExHeader.begin());
    _data.sysExType = kAllDataHeader[4];
}

std::optional<A3AllDataSource> A3AllDataSource::fromFactoryBank(const std::filesystem::path& file)
{
    // A resource shorter than a dump body is as good as missing: a partial
    // factory bank would leave the patches half defined.
    const FileRead read = readFileBounded(file, kMaxFactoryBankSize);
    if (!read.ok() || read->size() < kDumpBodySize) {
        return std::nullopt;
    }
    A3AllDataSource bank;
    std::copy_n(read->begin(), kDumpBodySize, dumpBody(bank._data).begin());
    return bank;
}

A3AllDataSource A3AllDataSource::fallbackBank()
{
    A3AllDataSource bank;
    for (auto& patch : bank._data.patch) {
        patch = kFallbackPatch;
    }
    return bank;
}

std::int64_t A3AllDataSource::numberOfRows() const
{
    return static_cast<std::int64_t>(kPatchCount);
}

Result<A3AllDataSource> A3AllDataSource::fromSyxData(std::span<const std::uint8_t> file)
{
    // Every byte of the record comes from the file, so no other content is
    // looked for first.
    A3AllDataSource bank;
    if (Outcome taken = bank.setSyxData(file); !taken.ok()) {
        return taken.failure();
    }
    return bank;
}

Outcome A3AllDataSource::setSyxData(std::span<const std::uint8_t> file)
{
    // Checked before anything is stored, so a rejected file leaves even the
    // header as it was and cannot leak into a later save.
    if (Outcome checked = checkAllDataFile(file); !checked.ok()) {
        return checked;
    }
    std::copy_n(file.begin(), 4, _data.sysExHeader.begin());
    _data.sysExType = file[4];

    // The low-nibble byte is deliberately not masked: the device's own reader
    // ORs it in whole, and the high one loses its upper bits.
    nibble::decode(file.data() + kHeaderSize, kDumpBodySize, dumpBody(_data).data());
    return {};
}

std::vector<std::uint8_t> A3AllDataSource::syxData()
{
    std::vector<std::uint8_t> file(kAllDataFileSize);
    writeSyxData(std::span<std::uint8_t, kAllDataFileSize>(file));
    return file;
}

void A3AllDataSource::writeSyxData(std::span<std::uint8_t, kAllDataFileSize> file)
{
    const auto* record = reinterpret_cast<const std::uint8_t*>(&_data);
    // Writes the record bytes [offset, offset + size) to their nibble pairs.
    const auto encode = [&](std::size_t offset, std::size_t size, std::uint16_t sumStart) {
        return nibble::encodeSummed(record + offset, size, file.data() + 2 * offset - kHeaderSize,
                                    sumStart);
    };
    std::copy_n(record, kHeaderSize, file.begin());
    // Each checksum follows the bytes it covers, so one pass over the record
    // sums each range as it writes it, then stores and writes its checksum.
    storeLittleEndian(_data.checksum,
                      encode(offsetof(A3AllData, chain), kChainDataSize, kChainChecksumStart));
    encode(offsetof(A3AllData, checksum), _data.checksum.size(), 0);
    storeLittleEndian(_data.checksum2, encode(offsetof(A3AllData, patch), kPatchCount * kPatchSize,
                                              kPatchChecksumStart));
    encode(offsetof(A3AllData, checksum2), _data.checksum2.size(), 0);
    file.back() = kEndOfExclusive;
}

std::uint16_t A3AllDataSource::chainChecksum() const
{
    return static_cast<std::uint16_t>(_data.checksum[0] | (_data.checksum[1] << 8));
}

void A3AllDataSource::setChainData(std::span<const std::uint8_t, kChainDataSize> chain)
{
    std::ranges::copy(chain, _data.chain.begin());
    unsigned sum = kChainChecksumStart;
    for (const std::uint8_t byte : chain) {
        sum += byte;
    }
    storeLittleEndian(_data.checksum, static_cast<std::uint16_t>(sum));
}

std::int32_t A3AllDataSource::chainAtIndex(std::int64_t index) const
{
    assert(isValidIndex(index));
    if (!isValidIndex(index)) {
        return 0;
    }
    return _data.patch[static_cast<std::size_t>(index)][0];
}

std::string patchName(std::span<const std::uint8_t, kPatchSize> patch)
{
    std::string name;
    for (std::size_t k = 0; k < kPatchNameLength; ++k) {
        const std::uint8_t byte = patch[kPatchNameOffset + k];
        if (byte == 0) {
            break;
        }
        // Bytes from 0x80 are read as Latin-1: every byte value then names
        // exactly one character, so no name is ever unreadable.
        appendUtf8(name, byte);
    }
    return name;
}

std::string A3AllDataSource::patchNameAt(std::int64_t index) const
{
    assert(isValidIndex(index));
    if (!isValidIndex(index)) {
        return {};
    }
    return patchName(_data.patch[static_cast<std::size_t>(index)]);
}

void A3AllDataSource::setPatchName(std::u16string_view name, std::int64_t index)
{
    assert(isValidIndex(index));
    if (!isValidIndex(index)) {
        return;
    }
    auto& patch = _data.patch[static_cast<std::size_t>(index)];
    const std::u16string stored = storablePatchName(name);
    for (std::size_t k = 0; k < kPatchNameLength; ++k) {
        patch[kPatchNameOffset + k] =
            k < stored.size() ? static_cast<std::uint8_t>(stored[k]) : ' ';
    }
}

std::vector<std::uint8_t> A3AllDataSource::patchDataAt(std::int64_t index) const
{
    assert(isValidIndex(index));
    if (!isValidIndex(index)) {
        return {};
    }
    const auto& patch = _data.patch[static_cast<std::size_t>(index)];
    return {patch.begin(), patch.end()};
}

void A3AllDataSource::setPatchData(std::span<const std::uint8_t> patch, std::int64_t index)
{
    assert(isValidIndex(index) && patch.size() >= kPatchSize);
    if (!isValidIndex(index) || patch.size() < kPatchSize) {
        return;
    }
    std::copy_n(patch.begin(), kPatchSize, _data.patch[static_cast<std::size_t>(index)].begin());
}

A3AllData A3AllDataSource::data() const
{
    return _data;
}

void A3AllDataSource::setData(const A3AllData& data)
{
    _data = data;
}

std::filesystem::path applicationResourceDirectory()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (executable.parent_path() / ".." / "share" / "a3-librarian").lexically_normal();
}

std::filesystem::path factoryBankPath()
{
    const auto directory = applicationResourceDirectory();
    return directory.empty() ? directory : directory / "A3FactoryPreset";
}

} // namespace a3
