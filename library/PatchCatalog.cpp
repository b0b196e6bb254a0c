#include "PatchCatalog.h"

#include "A3AllDataSource.h"

#include <algorithm>
#include <array>
#include <bit>
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
            searchName.lower[k] = lowerAscii(static_cast<char>(name[k]));
        }
        searchName.chain = patches[row * kPatchSize];
        _names.push_back(searchName);
    }
}

void PatchCatalog::finish()
{
    const auto soundOf = [this](PatchId patch) { return soundKey(patch); };
    // Equal sounds by their hash first, then by their keys within a hash.
    std::vector<std::size_t> hashOf(_names.size());
    std::vector<std::pair<std::size_t, PatchId>> byHash(_names.size());
    for (PatchId patch = 0; patch < byHash.size(); ++patch) {
        hashOf[patch] = SoundKeyHash{}(soundOf(patch));
        byHash[patch] = {hashOf[patch], patch};
    }
    std::sort(byHash.begin(), byHash.end());
    // Within one hash (nearly always one sound), each patch joins the first
    // earlier patch of the same key, or is the first of its sound.
    std::vector<PatchId> firstOfSound(_names.size());
    for (std::size_t first = 0; first < byHash.size();) {
        std::size_t end = first;
        while (end < byHash.size() && byHash[end].first == byHash[first].first) {
            ++end;
        }
        for (std::size_t k = first; k < end; ++k) {
            const SoundKey key = soundOf(byHash[k].second);
            std::size_t same = first;
            while (same < k && soundOf(byHash[same].second) != key) {
                ++same;
            }
            firstOfSound[byHash[k].second] = byHash[same].second;
        }
        first = end;
    }
    // Sounds are numbered in the order of their first patches, so that a
    // search, going through the patches in order, meets their numbers
    // mostly in order too and reads what it keeps by sound near where it
    // read last.
    _sound.assign(_names.size(), 0);
    _soundHash.clear();
    std::uint32_t sounds = 0;
    for (PatchId patch = 0; patch < _names.size(); ++patch) {
        if (firstOfSound[patch] == patch) {
            _soundHash.push_back(hashOf[patch]);
            _sound[patch] = sounds++;
        } else {
            _sound[patch] = _sound[firstOfSound[patch]];
        }
    }
    // Twice as many slots as sounds keep the runs of taken slots short.
    _soundSlots.assign(std::bit_ceil(std::max<std::size_t>(1, 2 * std::size_t{sounds})), 0);
    const std::size_t mask = _soundSlots.size() - 1;
    for (std::uint32_t sound = 0; sound < sounds; ++sound) {
        std::size_t slot = _soundHash[sound] & mask;
        while (_soundSlots[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        _soundSlots[slot] = sound + 1;
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
        const std::string_view name(_names[patch].lower.data(), kPatchNameLength);
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

std::optional<std::uint32_t> PatchCatalog::soundWithKey(const SoundKey& key) const
{
    if (_soundSlots.empty()) {
        return std::nullopt; // not finished
    }
    const std::size_t hash = SoundKeyHash{}(key);
    const std::size_t mask = _soundSlots.size() - 1;
    for (std::size_t slot = hash & mask; _soundSlots[slot] != 0; slot = (slot + 1) & mask) {
        const std::uint32_t sound = _soundSlots[slot] - 1;
        if (_soundHash[sound] == hash && soundKey(_soundPatches[_soundStart[sound]]) == key) {
            return sound;
        }
    }
    return std::nullopt;
}

SaidOfSounds PatchCatalog::saidOf(const SoundsSnapshot& sounds) const
{
    SaidOfSounds said{std::vector<const SoundData*>(soundCount(), nullptr),
                      std::vector<bool>(soundCount(), false)};
    for (const auto& [key, data] : sounds) {
        if (const auto sound = soundWithKey(key)) {
            said.data[*sound] = &data;
            said.anything[*sound] = true;
        }
    }
    return said;
}

std::vector<PatchCatalog::PatchId>
PatchCatalog::search(const SoundQuery& query, const SoundsSnapshot& sounds, bool onePerSound) const
{
    return search(query, query.asksOfSounds() ? saidOf(sounds) : SaidOfSounds{}, onePerSound);
}

std::vector<PatchCatalog::PatchId>
PatchCatalog::search(const SoundQuery& query, const SaidOfSounds& said, bool onePerSound) const
{
    // What is said of most sounds is nothing: whether that passes depends
    // on the chain alone, and is judged once for each chain.
    std::array<bool, 256> nothingSaidPasses{};
    for (std::size_t chain = 0; chain < nothingSaidPasses.size(); ++chain) {
        nothingSaidPasses[chain] = query.soundMatches(static_cast<std::int32_t>(chain), nullptr);
    }
    const bool asksSound = query.asksOfSounds();
    std::vector<bool> soundSeen(onePerSound ? soundCount() : 0);
    std::vector<PatchId> found;
    for (PatchId patch = 0; patch < _names.size(); ++patch) {
        if (!query.nameMatches(_names[patch].text()) || !query.bankMatches(bank(patch).path)) {
            continue;
        }
        const std::uint32_t sound = _sound[patch];
        if (asksSound) {
            const SoundData* data = said.of(sound);
            const std::uint8_t chainByte = _names[patch].chain;
            if (data ? !query.soundMatches(chainByte, data) : !nothingSaidPasses[chainByte]) {
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
