#pragma once

#include "A3AllData.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace a3 {

// The rules by which a bank takes an All-Data file, with their reasons for
// the user: the bank, a3bank and the fuzzers all judge files through these.

// Why a file of this length cannot be an All-Data file; nothing for the one
// length that can ("wrong length: 10 bytes, expected 29198").
std::optional<std::string> allDataLengthProblem(std::uintmax_t length);

// Why the bank refuses this file content (its length or one of the five
// header bytes), or nothing when it takes it.
std::optional<std::string> allDataFileProblem(std::span<const std::uint8_t> file);

// What the bank tolerates in a file it takes, one text each: stored checksums
// that differ from the computed ones, a last byte other than F7, nibble bytes
// above 0x0F. Empty for a file as the device writes it, and for one the bank
// refuses.
std::vector<std::string> toleratedDefects(std::span<const std::uint8_t> file);

} // namespace a3
