#include "Sound.h"

#include <cstring>

namespace a3::library {

bool playsChainData(std::span<const std::uint8_t, kPatchSize> patch)
{
    return patch[0] >= kChainDataRefThreshold;
}

SoundKey soundKey(std::span<const std::uint8_t, kPatchSize> patch, std::uint16_t chainId)
{
    constexpr std::size_t kAfterName = kPatchNameOffset + kPatchNameLength;
    SoundKey key{};
    std::memcpy(key.data(), patch.data(), kPatchNameOffset);
    std::memcpy(key.data() + kPatchNameOffset, patch.data() + kAfterName, kPatchSize - kAfterName);
    if (playsChainData(patch)) {
        key[kSoundKeySize - 2] = static_cast<std::uint8_t>(chainId & 0xFF);
        key[kSoundKeySize - 1] = static_cast<std::uint8_t>(chainId >> 8);
    }
    return key;
}

} // namespace a3::library
