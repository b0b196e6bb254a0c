#include "NibbleKernels.h"

namespace a3::nibble {

// Plain loops: a bank is decoded once per open and encoded once per save or
// copy, and the compiler's vectoriser keeps each within a few copies of the
// file's bytes.

void decode(const std::uint8_t* pairs, std::size_t count, std::uint8_t* bytes)
{
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(pairs[2 * i] | ((pairs[2 * i + 1] & 0x0F) << 4));
    }
}

std::uint16_t encodeSummed(const std::uint8_t* bytes, std::size_t count, std::uint8_t* pairs,
                           std::uint16_t sumStart)
{
    unsigned sum = sumStart;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned byte = bytes[i];
        pairs[2 * i] = static_cast<std::uint8_t>(byte & 0x0F);
        pairs[2 * i + 1] = static_cast<std::uint8_t>(byte >> 4);
        sum += byte;
    }
    return static_cast<std::uint16_t>(sum);
}

std::size_t countAbove0F(const std::uint8_t* bytes, std::size_t count)
{
    std::size_t above = 0;
    for (std::size_t i = 0; i < count; ++i) {
        above += bytes[i] > 0x0F ? 1 : 0;
    }
    return above;
}

} // namespace a3::nibble
