#pragma once

#include "A3AllDataSource.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3 {

// The patches that can be taken from the bytes of a dump cut short, or of one
// with bytes that are not nibbles: each patch whose 128 nibble bytes all
// arrived and are all nibbles (0x00 to 0x0F) goes into its own slot of a bank
// copied from a base bank, and so does the chain data when it arrived whole
// and clean. Nothing is guessed: a patch missing one byte, or with one byte
// that is not a nibble, keeps the base bank's patch.

enum class ChecksumCheck
{
    Unchecked, // the checksum, or a byte it covers, did not arrive clean
    Matches,
    Differs,
};

struct PatchRecoveryReport
{
    // Patch numbers, 1 to 100, in order; each is in exactly one list.
    std::vector<int> recovered;
    std::vector<int> notArrived; // some of its bytes did not arrive
    std::vector<int> notNibbles; // all arrived, but not all of them nibbles
    bool chainDataRecovered = false;
    // Recovered patches whose chain number refers to chain data (from
    // kChainDataRefThreshold on) when the chain data was not recovered: they
    // refer to the base bank's.
    std::vector<int> usingBaseChainData;
    ChecksumCheck chainChecksum = ChecksumCheck::Unchecked;
    ChecksumCheck patchChecksum = ChecksumCheck::Unchecked;
    // The report in sentences for the user, the base bank called baseName.
    std::vector<std::string> lines;
};

struct RecoveredBank
{
    A3AllDataSource bank;
    PatchRecoveryReport report;
};

// From dump, the bytes of a dump from its F0 on (at most kAllDataFileSize are
// read); bytes that do not start with the dump header give the base bank as
// it is and no patch.
RecoveredBank recoverPatches(std::span<const std::uint8_t> dump, const A3AllDataSource& base,
                             std::string_view baseName = "the factory bank");

} // namespace a3
