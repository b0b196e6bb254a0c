#pragma once

#include "A3AllData.h"
#include "Result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3 {

// The patch bank of one document: one A3AllData record and the only operations
// through which the rest of the program reads or changes it.
//
// Operations taking a patch index require 0 <= index < numberOfRows(), and
// setPatchData requires at least kPatchSize bytes. A call that breaks this
// asserts in a debug build and otherwise does nothing (or returns an empty
// value); it never touches memory outside the record.
class A3AllDataSource
{
public:
    // The bank of a factory bank file; nothing when the file is missing,
    // unreadable or shorter than a dump body. Bytes after the body are ignored.
    static std::optional<A3AllDataSource> fromFactoryBank(const std::filesystem::path& file);
    // A bank of the fallback content, made without looking for the factory
    // bank: for a bank that a file is about to replace whole, or when the
    // factory bank is missing.
    static A3AllDataSource fallbackBank();
    // The bank of an All-Data file, or why the file is none
    // (checkAllDataFile's reason): how every reader turns bytes into a bank.
    static Result<A3AllDataSource> fromSyxData(std::span<const std::uint8_t> file);

    std::int64_t numberOfRows() const;

    // Decodes a whole All-Data file. Fails with checkAllDataFile's reason,
    // leaving the bank exactly as it was, when the length or a header byte is
    // wrong.
    Outcome setSyxData(std::span<const std::uint8_t> file);
    // The All-Data file of the bank as it is now; recomputes and stores both
    // checksums first.
    std::vector<std::uint8_t> syxData();
    // The same file written into the caller's buffer, each byte once.
    void writeSyxData(std::span<std::uint8_t, kAllDataFileSize> file);

    std::uint16_t chainChecksum() const;
    // Stores the chain data and the checksum it gives, as a save would, so
    // that chainChecksum() tells the chain ID at once.
    void setChainData(std::span<const std::uint8_t, kChainDataSize> chain);
    std::int32_t chainAtIndex(std::int64_t index) const;
    // patchName() of the patch at index.
    std::string patchNameAt(std::int64_t index) const;
    // Stores the name as storablePatchName() gives it, space-padded.
    void setPatchName(std::u16string_view name, std::int64_t index);
    std::vector<std::uint8_t> patchDataAt(std::int64_t index) const;
    void setPatchData(std::span<const std::uint8_t> patch, std::int64_t index);

    A3AllData data() const;
    void setData(const A3AllData& data);

private:
    A3AllDataSource();

    A3AllData _data{};
};

// The name of a patch image as UTF-8 text: one character for each of its (up
// to seven) bytes, stopping before a zero byte.
std::string patchName(std::span<const std::uint8_t, kPatchSize> patch);

// The application's resources: share/a3-librarian/ beside the bin/ folder of
// the running executable, in the build tree as when installed.
std::filesystem::path applicationResourceDirectory();
std::filesystem::path factoryBankPath();

// The 64-byte patch that fills a bank when the factory bank is missing.
extern const std::array<std::uint8_t, kPatchSize> kFallbackPatch;

} // namespace a3
