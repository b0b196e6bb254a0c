#include "PatchCatalog.h"

#include "A3AllDataSource.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace a3::library {
namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A patch's bytes without its name: what makes it the sound it is.
std::array<std::uint8_t, kPatchSize - kPatchNameLength> soundBytes(const std::uint8_t* patch)
{
    std::array<std::uint8_t, kPatchSize - kPatchNameLength> sound{};
    std::memcpy(sound.data(), patch, kPatchNameOffset);
    std::memcpy(sound.data() + kPatchNameOffset, patch + kPatchNameOffset + kPatchNameLength,
                kPatchSize - kPatchNameOffset - kPatchNameLength);
    return sound;
}

std::size_t soundHash(const std::uint8_t* patch)
{
    const auto sound = soundBytes(patch);
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(sound.data()), sound.size()));
}

} // namespace

void PatchCatalog::reserve(std::size_t banks)
{
    _banks.reserve(banks);
    _patches.reserve(banks * kBankPatchBytes);
    _names.reserve(banks * kPatchCount);
}

void PatchCatalog::addBank(CatalogBank bank, std::span<const std::uint8_t, kBankPatchBytes> patches)
{
    _banks.push_back(std::move(bank));
    _patches.insert(_patches.end(), patches.begin(), patches.end());
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        SearchName searchName{};
        const std::uint8_t* name = patches.data() + row * kPatchSize + kPatchNameOffset;
        for (std::size_t k = 0; k < kPatchNameLength && name[k] != 0; ++k) {
            searchName[k] = lowerAscii(static_cast<char>(name[k]));
        }
        _names.push_back(searchName);
    }
}

void PatchCatalog::finish()
{
    // Equal sounds by their hash first, then by their bytes within a hash.
    std::vector<std::pair<std::size_t, PatchId>> byHash(_names.size());
    for (PatchId patch = 0; patch < byHash.size(); ++patch) {
        byHash[patch] = {soundHash(&_patches[patch * kPatchSize]), patch};
    }
    std::sort(byHash.begin(), byHash.end());
    _sound.assign(_names.size(), 0);
    _soundSize.clear();
    for (std::size_t first = 0; first < byHash.size();) {
        std::size_t end = first;
        while (end < byHash.size() && byHash[end].first == byHash[first].first) {
            ++end;
        }
        // Within one hash (nearly always one sound), each patch joins the
        // first earlier patch of the same bytes, or starts a sound.
        for (std::size_t k = first; k < end; ++k) {
            const PatchId patch = byHash[k].second;
            const auto sound = soundBytes(&_patches[patch * kPatchSize]);
            std::size_t same = first;
            while (same < k && soundBytes(&_patches[byHash[same].second * kPatchSize]) != sound) {
                ++same;
            }
            if (same == k) {
                _sound[patch] = static_cast<std::uint32_t>(_soundSize.size());
                _soundSize.push_back(1);
            } else {
                _sound[patch] = _sound[byHash[same].second];
                ++_soundSize[_sound[patch]];
            }
        }
        first = end;
    }
}

std::span<const std::uint8_t, kPatchSize> PatchCatalog::patchData(PatchId patch) const
{
    return std::span<const std::uint8_t, kPatchSize>(&_patches[patch * kPatchSize], kPatchSize);
}

std::string PatchCatalog::name(PatchId patch) const
{
    return patchName(patchData(patch));
}

std::vector<PatchCatalog::PatchId> PatchCatalog::search(std::string_view text,
                                                        bool onePerSound) const
{
    std::string wanted(text);
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), lowerAscii);
    std::vector<PatchId> found;
    if (wanted.size() > kPatchNameLength || wanted.find('\0') != std::string::npos) {
        return found;
    }
    std::vector<bool> soundSeen(onePerSound ? _soundSize.size() : 0);
    for (PatchId patch = 0; patch < _names.size(); ++patch) {
        const std::string_view name(_names[patch].data(), kPatchNameLength);
        if (name.find(wanted) == std::string_view::npos) {
            continue;
        }
        if (onePerSound) {
            if (soundSeen[_sound[patch]]) {
                continue;
            }
            soundSeen[_sound[patch]] = true;
        }
        found.push_back(patch);
    }
    return found;
}

std::vector<PatchCatalog::PatchId> PatchCatalog::sameSound(PatchId patch) const
{
    std::vector<PatchId> same;
    same.reserve(_soundSize[_sound[patch]]);
    for (PatchId other = 0; other < _sound.size(); ++other) {
        if (_sound[other] == _sound[patch]) {
            same.push_back(other);
        }
    }
    return same;
}

std::uint32_t PatchCatalog::otherPlaces(PatchId patch) const
{
    return _soundSize[_sound[patch]] - 1;
}

CatalogPayload PatchCatalog::payload(std::span<const PatchId> patches) const
{
    CatalogPayload payload;
    for (const PatchId patch : patches) {
        const auto data = patchData(patch);
        payload.bytes.insert(payload.bytes.end(), data.begin(), data.end());
        if (chain(patch) < static_cast<std::int32_t>(kChainDataRefThreshold)) {
            continue;
        }
        const std::uint16_t checksum = bank(patch).chainChecksum;
        payload.chainsDiffer |= payload.refersToChainData && checksum != payload.chainChecksum;
        payload.refersToChainData = true;
        payload.chainChecksum = checksum;
    }
    return payload;
}

} // namespace a3::library
