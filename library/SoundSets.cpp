#include "SoundSets.h"

#include "PatchText.h"

#include <algorithm>
#include <utility>

namespace a3::library {
namespace {

// Enough to tell the user which; the rest counted.
constexpr std::size_t kMostNamed = 20;

// "12 “Hall”": the entry's number as the user counts, and its name as
// added, without the padding.
std::string entryText(std::size_t index, const Sound& sound)
{
    std::string name = printablePatchName(patchName(sound.patch));
    name.erase(name.find_last_not_of(' ') + 1);
    return std::to_string(index + 1) + " \u201C" + name + "\u201D";
}

std::string entriesText(std::span<const Sound> entries, std::span<const std::size_t> indices)
{
    std::string text;
    for (std::size_t k = 0; k < indices.size() && k < kMostNamed; ++k) {
        text += (k == 0 ? "" : ", ") + entryText(indices[k], entries[indices[k]]);
    }
    if (indices.size() > kMostNamed) {
        text += " and " + std::to_string(indices.size() - kMostNamed) + " more";
    }
    return text;
}

} // namespace

Outcome checkSetName(std::string_view name)
{
    if (name.empty()) {
        return Failure{"a name cannot be empty"};
    }
    if (!isUtf8(name)) {
        return Failure{"a name is text in UTF-8"};
    }
    const auto characters = static_cast<std::size_t>(std::ranges::count_if(
        name, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    if (characters > kLongestSetName) {
        return Failure{"a name is at most " + std::to_string(kLongestSetName) + " characters long"};
    }
    return {};
}

Outcome checkSmartListQuery(std::string_view query)
{
    // Not parsed here: a later version may read more than this one, and a
    // smart list from it is kept all the same.
    if (query.size() > kLongestQuery) {
        return Failure{"a search is at most " + std::to_string(kLongestQuery) + " bytes long"};
    }
    if (!isUtf8(query)) {
        return Failure{"a search is text in UTF-8"};
    }
    return {};
}

Result<A3AllDataSource> bankFromSet(std::span<const Sound> entries, const A3AllDataSource& base,
                                    const ChainDataLookup& chainData)
{
    if (entries.size() > kPatchCount) {
        std::vector<std::size_t> over(entries.size() - kPatchCount);
        std::ranges::generate(over, [k = kPatchCount]() mutable { return k++; });
        return Failure{"a bank holds " + std::to_string(kPatchCount) + " sounds and the set " +
                       std::to_string(entries.size()) +
                       "; these do not fit: " + entriesText(entries, over)};
    }
    // The entries that play chain data, by chain ID in the order first met.
    std::vector<std::pair<std::uint16_t, std::vector<std::size_t>>> byChain;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!playsChainData(entries[k].patch)) {
            continue;
        }
        const auto same =
            std::ranges::find(byChain, entries[k].chainId,
                              &std::pair<std::uint16_t, std::vector<std::size_t>>::first);
        (same == byChain.end()
             ? byChain.emplace_back(entries[k].chainId, std::vector<std::size_t>{})
             : *same)
            .second.push_back(k);
    }
    if (byChain.size() > 1) {
        std::string groups;
        for (const auto& [id, indices] : byChain) {
            groups += (groups.empty() ? "" : "; ") + ("chain ID " + chainId(id) + ": ") +
                      entriesText(entries, indices);
        }
        return Failure{"the sounds that play chain data come from banks of different chain "
                       "data, and a bank holds one: " +
                       groups};
    }
    A3AllDataSource bank = base;
    if (!byChain.empty()) {
        const auto& [id, indices] = byChain.front();
        const std::optional<ChainData> found = chainData ? chainData(id) : std::nullopt;
        if (!found) {
            return Failure{"the chain data of chain ID " + chainId(id) +
                           " was not found, which these play: " + entriesText(entries, indices)};
        }
        bank.setChainData(*found);
    }
    for (std::size_t k = 0; k < entries.size(); ++k) {
        bank.setPatchData(entries[k].patch, static_cast<std::int64_t>(k));
    }
    return bank;
}

} // namespace a3::library
