#include "NibbleKernels.h"

#include <array>
#include <cstring>

// The x86-64 variants need GCC or clang: each of their functions names its
// instruction set in a target attribute instead of the file being built for
// it, so everything else here, library code included, still runs on any
// x86-64, and a variant is only called after the CPU has said it has the
// instructions. Other compilers and architectures get the portable loops.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define A3_NIBBLE_X86 1
// GCC 12 builds some AVX-512 intrinsics on an "undefined" vector that
// -Wuninitialized then reports inside the header; the pragma is bound to the
// header's lines, so warnings in this file stay on.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace a3::nibble {
namespace {

// The reference every other variant must match; written plainly enough for
// the compiler to vectorise for the baseline instruction set.
void decodePortable(const std::uint8_t* pairs, std::size_t count, std::uint8_t* bytes)
{
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(pairs[2 * i] | ((pairs[2 * i + 1] & 0x0F) << 4));
    }
}

std::uint16_t encodeSummedPortable(const std::uint8_t* bytes, std::size_t count,
                                   std::uint8_t* pairs, std::uint16_t sumStart)
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

#ifdef A3_NIBBLE_X86

// Both wide variants follow the same plan. Decoding: a byte shuffle gathers,
// within each 128-bit lane, the low-nibble bytes into its lower half and the
// high-nibble bytes into its upper half; unpacking two such vectors 64 bits
// at a time lines up the low bytes in one vector and the high bytes in the
// other, and low | ((high << 4) & 0xF0) is the record byte. Encoding: the low
// and high nibbles of each byte are interleaved by byte unpacks. Shuffles and
// unpacks stay within 128-bit lanes, so a permute of 64-bit blocks puts the
// results in file order. The checksum comes from sums of absolute
// differences against zero, which add up eight bytes at a time.

// Within each 128-bit lane: the even bytes, then the odd ones.
__attribute__((target("avx2"))) __m128i evenThenOddBytes()
{
    return _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
}

// The total of a vector's 64-bit lanes, once per call.
template <typename Vector>
std::uint64_t laneTotal(const Vector& sums)
{
    std::array<std::uint64_t, sizeof(Vector) / sizeof(std::uint64_t)> lanes{};
    std::memcpy(lanes.data(), &sums, sizeof(Vector));
    std::uint64_t total = 0;
    for (const std::uint64_t lane : lanes) {
        total += lane;
    }
    return total;
}

__attribute__((target("avx2"))) void decodeAvx2(const std::uint8_t* pairs, std::size_t count,
                                                std::uint8_t* bytes)
{
    const __m256i split = _mm256_broadcastsi128_si256(evenThenOddBytes());
    const __m256i highNibble = _mm256_set1_epi8(static_cast<char>(0xF0));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i first = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs + 2 * i)), split);
        const __m256i second = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs + 2 * i + 32)), split);
        const __m256i low = _mm256_unpacklo_epi64(first, second);
        const __m256i high = _mm256_unpackhi_epi64(first, second);
        const __m256i decoded =
            _mm256_or_si256(low, _mm256_and_si256(_mm256_slli_epi16(high, 4), highNibble));
        // Blocks 0 2 1 3: first's two halves, then second's.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes + i),
                            _mm256_permute4x64_epi64(decoded, 0xD8));
    }
    decodePortable(pairs + 2 * i, count - i, bytes + i);
}

__attribute__((target("avx2"))) std::uint16_t encodeSummedAvx2(const std::uint8_t* bytes,
                                                               std::size_t count,
                                                               std::uint8_t* pairs,
                                                               std::uint16_t sumStart)
{
    const __m256i lowNibble = _mm256_set1_epi8(0x0F);
    __m256i sums = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i source = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(source, _mm256_setzero_si256()));
        // Blocks 0 2 1 3: the low halves of the lanes then hold bytes 0-15.
        const __m256i ordered = _mm256_permute4x64_epi64(source, 0xD8);
        const __m256i low = _mm256_and_si256(ordered, lowNibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(ordered, 4), lowNibble);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pairs + 2 * i),
                            _mm256_unpacklo_epi8(low, high));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pairs + 2 * i + 32),
                            _mm256_unpackhi_epi8(low, high));
    }
    return encodeSummedPortable(bytes + i, count - i, pairs + 2 * i,
                                static_cast<std::uint16_t>(sumStart + laneTotal(sums)));
}

__attribute__((target("avx512bw"))) void decodeAvx512(const std::uint8_t* pairs, std::size_t count,
                                                      std::uint8_t* bytes)
{
    const __m512i split = _mm512_broadcast_i32x4(evenThenOddBytes());
    const __m512i highNibble = _mm512_set1_epi8(static_cast<char>(0xF0));
    // Blocks 0 2 4 6 1 3 5 7: first's four quarters, then second's.
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i first = _mm512_shuffle_epi8(_mm512_loadu_si512(pairs + 2 * i), split);
        const __m512i second = _mm512_shuffle_epi8(_mm512_loadu_si512(pairs + 2 * i + 64), split);
        const __m512i low = _mm512_unpacklo_epi64(first, second);
        const __m512i high = _mm512_unpackhi_epi64(first, second);
        // low | (high << 4 & 0xF0)
        const __m512i decoded =
            _mm512_ternarylogic_epi32(low, _mm512_slli_epi16(high, 4), highNibble, 0xF8);
        _mm512_storeu_si512(bytes + i, _mm512_permutexvar_epi64(order, decoded));
    }
    decodePortable(pairs + 2 * i, count - i, bytes + i);
}

__attribute__((target("avx512bw"))) std::uint16_t encodeSummedAvx512(const std::uint8_t* bytes,
                                                                     std::size_t count,
                                                                     std::uint8_t* pairs,
                                                                     std::uint16_t sumStart)
{
    const __m512i lowNibble = _mm512_set1_epi8(0x0F);
    // Blocks 0 4 1 5 2 6 3 7: the low halves of the lanes then hold bytes 0-31.
    const __m512i order = _mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7);
    __m512i sums = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i source = _mm512_loadu_si512(bytes + i);
        sums = _mm512_add_epi64(sums, _mm512_sad_epu8(source, _mm512_setzero_si512()));
        const __m512i ordered = _mm512_permutexvar_epi64(order, source);
        const __m512i low = _mm512_and_si512(ordered, lowNibble);
        const __m512i high = _mm512_and_si512(_mm512_srli_epi16(ordered, 4), lowNibble);
        _mm512_storeu_si512(pairs + 2 * i, _mm512_unpacklo_epi8(low, high));
        _mm512_storeu_si512(pairs + 2 * i + 64, _mm512_unpackhi_epi8(low, high));
    }
    return encodeSummedPortable(bytes + i, count - i, pairs + 2 * i,
                                static_cast<std::uint16_t>(sumStart + laneTotal(sums)));
}

// __builtin_cpu_init makes the answers right even for a caller that runs
// before the runtime's own start-up code has asked the CPU; it then costs a
// test of one flag.
bool cpuHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool cpuHasAvx512bw()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512bw");
}

#endif

bool runsEverywhere()
{
    return true;
}

struct Variant
{
    Kernels kernels;
    bool (*cpuRunsIt)();
};

// Slowest first.
constexpr std::array kVariants{
    Variant{{"portable", decodePortable, encodeSummedPortable}, runsEverywhere},
#ifdef A3_NIBBLE_X86
    Variant{{"avx2", decodeAvx2, encodeSummedAvx2}, cpuHasAvx2},
    Variant{{"avx512bw", decodeAvx512, encodeSummedAvx512}, cpuHasAvx512bw},
#endif
};

} // namespace

std::vector<Kernels> runnableKernels()
{
    std::vector<Kernels> runnable;
    for (const Variant& variant : kVariants) {
        if (variant.cpuRunsIt()) {
            runnable.push_back(variant.kernels);
        }
    }
    return runnable;
}

Kernels fastestKernels()
{
    for (auto variant = kVariants.rbegin(); variant != kVariants.rend(); ++variant) {
        if (variant->cpuRunsIt()) {
            return variant->kernels;
        }
    }
    return kVariants.front().kernels;
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
