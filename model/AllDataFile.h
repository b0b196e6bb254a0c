#pragma once

#include "A3AllData.h"
#include "Result.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace a3 {

// The rules by which a bank takes an All-Data file, with their reasons for
// the user: the bank, a3bank and the fuzzers all judge files through these.

// Fails, saying why, for a file of any length but the one an All-Data file
// has ("wrong length: 10 bytes, expected 29198").
Outcome checkAllDataLength(std::uintmax_t length);

// Fails, saying why, for file content the bank refuses: its length or one of
// the five header bytes.
Outcome checkAllDataFile(std::span<const std::uint8_t> file);

// Why a bank file was not read.
struct BankFileFailure
{
    enum class Kind
    {
        Unreadable, // the system's reason: missing, no permission, not a regular file
        NotABank,   // read, or too large to read, but no All-Data file
    };
    Kind kind = Kind::Unreadable;
    std::string reason;
};

// The content of an All-Data file that the bank takes, or why there is none;
// nothing larger than a dump is read, and nothing but a regular file opened.
// How the app and a3bank read a file saved as a bank.
Result<std::vector<std::uint8_t>, BankFileFailure>
readAllDataFile(const std::filesystem::path& path);

// What the bank tolerates in a file it takes, one text each: stored checksums
// that differ from the computed ones, a last byte other than F7, nibble bytes
// above 0x0F. Empty for a file as the device writes it, and for one the bank
// refuses.
std::vector<std::string> toleratedDefects(std::span<const std::uint8_t> file);

} // namespace a3
