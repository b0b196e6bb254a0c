#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace a3 {

inline constexpr std::size_t kPatchCount = 100;
inline constexpr std::size_t kPatchSize = 64;
inline constexpr std::size_t kChainDataSize = 8192;
inline constexpr std::size_t kPatchNameOffset = 9;
inline constexpr std::size_t kPatchNameLength = 7;

// The characters a patch name stores, one byte each; setting a name stores
// anything else as a space.
constexpr bool isPatchNameCharacter(char32_t c)
{
    return c >= 0x20 && c <= 0x7F;
}
inline constexpr std::size_t kChainDataRefThreshold =
    128; // chain numbers from here refer to chain data

// The decoded image of one All-Data dump. Every field is a byte array, so the
// record has no padding and can be copied, compared and sliced as raw bytes.
struct A3AllData
{
    std::array<std::uint8_t, 4> sysExHeader;
    std::uint8_t sysExType;
    std::array<std::uint8_t, kChainDataSize> chain;
    std::array<std::uint8_t, 2> checksum; // low byte first
    std::array<std::array<std::uint8_t, kPatchSize>, kPatchCount> patch;
    std::array<std::uint8_t, 2> checksum2; // low byte first
};

inline constexpr std::size_t kRecordSize = 14601;
inline constexpr std::size_t kHeaderSize = 5;                           // sysExHeader + sysExType
inline constexpr std::size_t kDumpBodySize = kRecordSize - kHeaderSize; // 14596
inline constexpr std::size_t kAllDataFileSize = kHeaderSize + 2 * kDumpBodySize + 1; // 29198
inline constexpr std::array<std::uint8_t, kHeaderSize> kAllDataHeader{0xF0, 0x42, 0x21, 0x20, 0x40};
inline constexpr std::uint8_t kEndOfExclusive = 0xF7;
inline constexpr std::uint16_t kChainChecksumStart = 0xF000;
inline constexpr std::uint16_t kPatchChecksumStart = 0x7380;

static_assert(sizeof(A3AllData) == kRecordSize);
static_assert(offsetof(A3AllData, sysExHeader) == 0);
static_assert(offsetof(A3AllData, sysExType) == 4);
static_assert(offsetof(A3AllData, chain) == 5);
static_assert(offsetof(A3AllData, checksum) == 8197);
static_assert(offsetof(A3AllData, patch) == 8199);
static_assert(offsetof(A3AllData, checksum2) == 14599);
static_assert(kAllDataFileSize == 29198);

} // namespace a3
