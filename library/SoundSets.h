#pragma once

#include "A3AllDataSource.h"
#include "Result.h"
#include "Sound.h"
#include "SoundData.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3::library {

// The user's own ordered lists of sounds ("Gig 2027-03"), and their saved
// searches (smart lists). A set holds each sound at most once: adding it
// again does nothing. Each entry keeps the patch as it was when added, its
// name then included, and the chain ID of its bank.
using SetId = std::int64_t;
using SmartListId = std::int64_t;

inline constexpr std::size_t kLongestSetName = 100; // characters
inline constexpr std::size_t kMostSets = 1'000;
inline constexpr std::size_t kMostSoundsInASet = 10'000;
inline constexpr std::size_t kMostSmartLists = 1'000;
inline constexpr std::size_t kLongestQuery = 1'000; // bytes

struct SetSummary
{
    SetId id = 0;
    std::string name;
    std::size_t entries = 0;
};

struct SmartList
{
    SmartListId id = 0;
    std::string name;
    std::string query; // as typed; read by SoundQuery when it is run

    bool operator==(const SmartList&) const = default;
};

// A set as a file carries it: its name and its sounds, in order.
struct NamedSet
{
    std::string name;
    std::vector<Sound> sounds;
};

// Everything a user keeps of their sounds: what an export carries and a
// merge takes in. Smart lists' ids are of no meaning here.
struct SoundsContent
{
    std::vector<StoredSound> sounds;
    std::vector<NamedSet> sets;
    std::vector<SmartList> smartLists;
};

// The names of sets and of smart lists: not empty, at most kLongestSetName
// characters of UTF-8; unique in any case (ASCII letters, as tags are).
Outcome checkSetName(std::string_view name);
Outcome checkSmartListQuery(std::string_view query);

// The chain data of the bank of a chain ID, when the caller finds one.
using ChainData = std::array<std::uint8_t, kChainDataSize>;
using ChainDataLookup = std::function<std::optional<ChainData>(std::uint16_t chainId)>;

// "New Bank from Set": the set's sounds in slots 1..n, under the names they
// had when added, and the other slots as base has them (the factory bank).
// When some sound plays chain data, the bank takes the chain data of that
// sound's bank, as chainData finds it by chain ID; base's own patches that
// play chain data then play that one. Refused, naming the sounds, for more
// than 100 sounds, for sounds that play chain data of banks of different
// chain IDs, or for chain data not found.
Result<A3AllDataSource> bankFromSet(std::span<const Sound> entries, const A3AllDataSource& base,
                                    const ChainDataLookup& chainData);

} // namespace a3::library
