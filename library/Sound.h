#pragma once

#include "A3AllData.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace a3::library {

// What makes a patch the sound it is: its 64 bytes apart from the name's
// seven and, for a patch that plays its bank's chain data (chain 128 and
// up), that chain ID too, as the same bytes over other chain data are
// another sound. The others carry a zero chain ID: their chain byte already
// tells them apart. Everything a user says about a sound is kept under it,
// so that it follows the sound into any bank and under any name.
inline constexpr std::size_t kSoundKeySize = kPatchSize - kPatchNameLength + 2;
using SoundKey = std::array<std::uint8_t, kSoundKeySize>;

bool playsChainData(std::span<const std::uint8_t, kPatchSize> patch);
SoundKey soundKey(std::span<const std::uint8_t, kPatchSize> patch, std::uint16_t chainId);

struct SoundKeyHash
{
    std::size_t operator()(const SoundKey& key) const
    {
        return std::hash<std::string_view>{}(
            std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
    }
};

// A sound as a user met it: a patch and the chain ID of its bank.
struct Sound
{
    std::array<std::uint8_t, kPatchSize> patch{};
    std::uint16_t chainId = 0; // of the bank the patch was in

    SoundKey key() const { return soundKey(patch, chainId); }
};

} // namespace a3::library
