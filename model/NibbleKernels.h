#pragma once

// Internal to the model: the loops that turn an All-Data dump body into nibble
// bytes and back, and the one that counts nibble bytes out of range. Each
// instruction-set variant compiled in is listed, so the tests can hold every
// one of them to the same results, not only the variant this machine happens
// to pick; the rest of the program only sees A3AllDataSource and the file
// rules.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace a3::nibble {

// Writes count bytes, each from a pair of nibble bytes (low nibble first).
// The low byte is ORed in whole; the high byte loses its upper four bits.
using DecodeKernel = void (*)(const std::uint8_t* pairs, std::size_t count, std::uint8_t* bytes);
// Writes each of count bytes as a pair of nibble bytes (low nibble first) and
// returns sumStart plus the sum of the bytes, modulo 65536.
using EncodeKernel = std::uint16_t (*)(const std::uint8_t* bytes, std::size_t count,
                                       std::uint8_t* pairs, std::uint16_t sumStart);

struct Kernels
{
    std::string_view name;
    DecodeKernel decode;
    EncodeKernel encodeSummed;
};

// Every variant compiled in that this CPU can run, the portable one first and
// the fastest last.
std::vector<Kernels> runnableKernels();
// The fastest variant this CPU can run.
Kernels fastestKernels();

// How many of count bytes are above 0x0F, which no nibble byte the device
// writes is. One portable loop: it runs once for each file checked, not on
// every open or save.
std::size_t countAbove0F(const std::uint8_t* bytes, std::size_t count);

} // namespace a3::nibble
