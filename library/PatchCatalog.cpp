#include "PatchCatalog.h"

#include "A3AllDataSource.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <utility>

namespace a3::library {
namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
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
    const auto soundOf = [this](PatchId patch) { return soundKey(patch); };
    // Equal sounds by their hash first, then by their keys within a hash.
    std::vector<std::pair<std::size_t, PatchId>> byHash(_names.size());
    for (PatchId patch = 0; patch < byHash.size(); ++patch) {
        byHash[patch] = {SoundKeyHash{}(soundOf(patch)), patch};
    }
    std::sort(byHash.begin(), byHash.end());
    _sound.assign(_names.size(), 0);
    std::uint32_t sounds = 0;
    for (std::size_t first = 0; first < byHash.size();) {
        std::size_t end = first;
        while (end < byHash.size() && byHash[end].first == byHash[first].first) {
            ++end;
        }
        // Within one hash (nearly always one sound), each patch joins the
        // first earlier patch of the same key, or starts a sound.
        for (std::size_t k = first; k < end; ++k) {
            const PatchId patch = byHash[k].second;
            const SoundKey key = soundOf(patch);
            std::size_t same = first;
            while (same < k && soundOf(byHash[same].second) != key) {
                ++same;
            }
            _sound[patch] = same == k ? sounds++ : _sound[byHash[same].second];
        }
        first = end;
    }
    // Each sound's patches side by side, in order, for sameSound().
    _soundStart.assign(sounds + 1, 0);
    for (const std::uint32_t sound : _sound) {
        ++_soundStart[sound + 1];
    }
    std::partial_sum(_soundStart.begin(), _soundStart.end(), _soundStart.begin());
    _soundPatches.resize(_sound.size());
    std::vector<std::uint32_t> next(_soundStart.begin(), _soundStart.end() - 1);
    for (PatchId patch = 0; patch < _sound.size(); ++patch) {
        _soundPatches[next[_sound[patch]]++] = patch;
    }
}

std::span<const std::uint8_t, kPatchSize> PatchCatalog::patchData(PatchId patch) const
{
    return std::span<const std::uint8_t, kPatchSize>(&_patches[patch * kPatchSize], kPatchSize);
}

SoundKey PatchCatalog::soundKey(PatchId patch) const
{
    return library::soundKey(patchData(patch), bank(patch).chainChecksum);
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
    std::vector<bool> soundSeen(onePerSound ? _soundStart.size() - 1 : 0);
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

std::vector<PatchCatalog::PatchId>
PatchCatalog::search(const SoundQuery& query, const SoundsSnapshot& sounds, bool onePerSound) const
{
    // Each sound is judged once, and only for a patch whose name and bank
    // pass: most searches name words, and most patches end there.
    enum class Judged : std::uint8_t
    {
        Not,
        Passed,
        Failed
    };
    const bool asksSound = query.asksOfSounds();
    std::vector<Judged> judged(asksSound ? soundCount() : 0, Judged::Not);
    std::vector<bool> soundSeen(onePerSound ? soundCount() : 0);
    std::vector<PatchId> found;
    for (PatchId patch = 0; patch < _names.size(); ++patch) {
        const std::string_view name(_names[patch].data(),
                                    strnlen(_names[patch].data(), kPatchNameLength));
        if (!query.nameMatches(name) || !query.bankMatches(bank(patch).path)) {
            continue;
        }
        const std::uint32_t sound = _sound[patch];
        if (asksSound) {
            if (judged[sound] == Judged::Not) {
                const auto data = sounds.find(soundKey(patch));
                judged[sound] =
                    query.soundMatches(chain(patch), data != sounds.end() ? &data->second : nullptr)
                        ? Judged::Passed
                        : Judged::Failed;
            }
            if (judged[sound] == Judged::Failed) {
                continue;
            }
        }
        if (onePerSound) {
            if (soundSeen[sound]) {
                continue;
            }
            soundSeen[sound] = true;
        }
        found.push_back(patch);
    }
    return found;
}

std::span<const PatchCatalog::PatchId> PatchCatalog::sameSound(PatchId patch) const
{
    const std::uint32_t sound = _sound[patch];
    return std::span(_soundPatches)
        .subspan(_soundStart[sound], _soundStart[sound + 1] - _soundStart[sound]);
}

std::uint32_t PatchCatalog::otherPlaces(PatchId patch) const
{
    return static_cast<std::uint32_t>(sameSound(patch).size() - 1);
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
