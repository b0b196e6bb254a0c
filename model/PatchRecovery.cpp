#include "PatchRecovery.h"

#include "NibbleKernels.h"

#include <algorithm>
#include <cstddef>

namespace a3 {
namespace {

// Where the nibble pairs of a record field start in a dump.
constexpr std::size_t encodedAt(std::size_t recordOffset)
{
    return kHeaderSize + 2 * (recordOffset - kHeaderSize);
}

constexpr std::size_t kChainAt = encodedAt(offsetof(A3AllData, chain));
constexpr std::size_t kChainChecksumAt = encodedAt(offsetof(A3AllData, checksum));
constexpr std::size_t kPatchesAt = encodedAt(offsetof(A3AllData, patch));
constexpr std::size_t kPatchChecksumAt = encodedAt(offsetof(A3AllData, checksum2));
constexpr std::size_t kEncodedPatchSize = 2 * kPatchSize;

// Whether [at, at + count) all arrived and are all nibbles.
bool arrivedClean(std::span<const std::uint8_t> dump, std::size_t at, std::size_t count)
{
    return at + count <= dump.size() && nibble::countAbove0F(dump.data() + at, count) == 0;
}

// The sum of the bytes that count nibble pairs from at decode to.
unsigned decodedSum(std::span<const std::uint8_t> dump, std::size_t at, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += dump[at + 2 * i] | static_cast<unsigned>(dump[at + 2 * i + 1] << 4);
    }
    return sum;
}

// A checksum stored as two bytes, low first, over count bytes from coveredAt.
ChecksumCheck check(std::span<const std::uint8_t> dump, std::size_t coveredAt, std::size_t count,
                    std::uint16_t start, std::size_t storedAt)
{
    if (!arrivedClean(dump, coveredAt, 2 * count) || !arrivedClean(dump, storedAt, 4)) {
        return ChecksumCheck::Unchecked;
    }
    const unsigned computed = (start + decodedSum(dump, coveredAt, count)) & 0xFFFF;
    const unsigned stored = decodedSum(dump, storedAt, 1) | decodedSum(dump, storedAt + 2, 1) << 8;
    return computed == stored ? ChecksumCheck::Matches : ChecksumCheck::Differs;
}

// "1–3, 7, 9–10"
std::string numberRanges(const std::vector<int>& numbers)
{
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t last = i;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1) {
            ++last;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(numbers[i]);
        if (last > i) {
            text += "–" + std::to_string(numbers[last]);
        }
        i = last + 1;
    }
    return text;
}

std::string patchesNamed(const std::vector<int>& numbers)
{
    return (numbers.size() == 1 ? "Patch " : "Patches ") + numberRanges(numbers);
}

void describe(PatchRecoveryReport& report, std::string_view baseName)
{
    const std::string base(baseName);
    auto& lines = report.lines;
    if (report.recovered.empty()) {
        lines.push_back("No patch was recovered.");
    } else {
        lines.push_back("Recovered " + std::to_string(report.recovered.size()) + " of " +
                        std::to_string(kPatchCount) +
                        " patches: " + numberRanges(report.recovered) + ".");
    }
    if (!report.notArrived.empty()) {
        lines.push_back(patchesNamed(report.notArrived) +
                        " did not arrive whole, so the bank has " + base + "'s there.");
    }
    if (!report.notNibbles.empty()) {
        lines.push_back(
            patchesNamed(report.notNibbles) + (report.notNibbles.size() == 1 ? " has" : " have") +
            " bytes that are not nibbles (above 0x0F), so the bank has " + base + "'s there.");
    }
    if (!report.chainDataRecovered) {
        lines.push_back("The chain data did not arrive whole and clean, so the bank has " + base +
                        "'s.");
    } else if (report.chainChecksum == ChecksumCheck::Matches) {
        lines.push_back("The chain data was recovered, and its checksum matches.");
    } else if (report.chainChecksum == ChecksumCheck::Differs) {
        lines.push_back("The chain data was recovered, but its checksum differs: it may be "
                        "wrong.");
    } else {
        lines.push_back("The chain data was recovered, but its checksum did not arrive to check "
                        "it.");
    }
    if (!report.usingBaseChainData.empty()) {
        lines.push_back(patchesNamed(report.usingBaseChainData) +
                        (report.usingBaseChainData.size() == 1 ? " uses" : " use") +
                        " chain data (chain number " + std::to_string(kChainDataRefThreshold) +
                        " or above), which was not recovered: " +
                        (report.usingBaseChainData.size() == 1 ? "it refers" : "they refer") +
                        " to " + base + "'s.");
    }
    if (report.recovered.empty()) {
        return;
    }
    if (report.patchChecksum == ChecksumCheck::Matches) {
        lines.push_back("The patch checksum matches all " + std::to_string(kPatchCount) +
                        " patches.");
    } else if (report.patchChecksum == ChecksumCheck::Differs) {
        lines.push_back("The patch checksum differs: some patch may be wrong, and as the checksum "
                        "covers all " +
                        std::to_string(kPatchCount) + " patches at once it cannot tell which.");
    } else {
        lines.push_back("The patch checksum covers all " + std::to_string(kPatchCount) +
                        " patches at once, so it cannot verify single patches: check the "
                        "recovered ones before you use them.");
    }
}

} // namespace

RecoveredBank recoverPatches(std::span<const std::uint8_t> dump, const A3AllDataSource& base,
                             std::string_view baseName)
{
    RecoveredBank result{base, {}};
    PatchRecoveryReport& report = result.report;
    dump = dump.first(std::min(dump.size(), kAllDataFileSize));
    if (dump.size() < kHeaderSize ||
        !std::equal(kAllDataHeader.begin(), kAllDataHeader.end(), dump.begin())) {
        report.lines.push_back("These bytes do not start as an All-Data dump does, so nothing "
                               "was recovered.");
        return result;
    }
    A3AllData record = base.data();
    if (arrivedClean(dump, kChainAt, 2 * kChainDataSize)) {
        nibble::decode(dump.data() + kChainAt, kChainDataSize, record.chain.data());
        report.chainDataRecovered = true;
    }
    report.chainChecksum =
        check(dump, kChainAt, kChainDataSize, kChainChecksumStart, kChainChecksumAt);
    for (std::size_t p = 0; p < kPatchCount; ++p) {
        const std::size_t at = kPatchesAt + p * kEncodedPatchSize;
        const int number = static_cast<int>(p + 1);
        if (at + kEncodedPatchSize > dump.size()) {
            report.notArrived.push_back(number);
        } else if (!arrivedClean(dump, at, kEncodedPatchSize)) {
            report.notNibbles.push_back(number);
        } else {
            nibble::decode(dump.data() + at, kPatchSize, record.patch[p].data());
            report.recovered.push_back(number);
            if (!report.chainDataRecovered && record.patch[p][0] >= kChainDataRefThreshold) {
                report.usingBaseChainData.push_back(number);
            }
        }
    }
    report.patchChecksum =
        check(dump, kPatchesAt, kPatchCount * kPatchSize, kPatchChecksumStart, kPatchChecksumAt);
    result.bank.setData(record);
    describe(report, baseName);
    return result;
}

} // namespace a3
