#pragma once

// Internal to the model: the loops that turn an All-Data dump body into nibble
// bytes and back, and the one that counts nibble bytes out of range; the rest
// of the program only sees A3AllDataSource and the file rules.

#include <cstddef>
#include <cstdint>

namespace a3::nibble {

// Writes count bytes, each from a pair of nibble bytes (low nibble first).
// The low byte is ORed in whole; the high byte loses its upper four bits.
void decode(const std::uint8_t* pairs, std::size_t count, std::uint8_t* bytes);

// Writes each of count bytes as a pair of nibble bytes (low nibble first) and
// returns sumStart plus the sum of the bytes, modulo 65536.
std::uint16_t encodeSummed(const std::uint8_t* bytes, std::size_t count, std::uint8_t* pairs,
                           std::uint16_t sumStart);

// How many of count bytes are above 0x0F, which no nibble byte the device
// writes is.
std::size_t countAbove0F(const std::uint8_t* bytes, std::size_t count);

} // namespace a3::nibble
