#pragma once

#include "BankWalk.h"
#include "Sound.h"
#include "SoundData.h"
#include "SoundQuery.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3::library {

struct CatalogBank
{
    std::string path; // of its file, as the file system names it
    std::uint16_t chainChecksum = 0;
    bool hasDefects = false;
    // Where in its file the bank's dump is; none for a file that is itself
    // the bank.
    std::optional<DumpPlace> place = std::nullopt;
};

// Every patch of a collection of banks, in compact columns, and the questions
// a user asks of it. A patch is known by its place: bank * 100 + row, the
// banks in the order they were added (callers add them by path and then in
// their file's order, so results come ordered by path, then number).
// The patches a copy or a drag out of the library carries: their images in
// the order given, and the chain data they need, as a copy from one bank
// carries them.
struct CatalogPayload
{
    std::vector<std::uint8_t> bytes;
    bool refersToChainData = false;  // some patch's chain is 128 or more
    std::uint16_t chainChecksum = 0; // of the bank of such a patch
    // Patches that refer to chain data come from banks of different chain
    // checksums: no bank can take them all.
    bool chainsDiffer = false;
};

// What the user said of each sound of a catalog, by the sound's number.
struct SaidOfSounds
{
    std::vector<const SoundData*> data; // none where nothing is said
    // Whether anything is said of a sound: a search reads this first, as it
    // is small enough to stay in the cache where data is not.
    std::vector<bool> anything;

    const SoundData* of(std::uint32_t sound) const
    {
        return anything[sound] ? data[sound] : nullptr;
    }
};

class PatchCatalog
{
public:
    using PatchId = std::uint32_t;

    // Room for so many banks, so that a large catalog is not copied as it
    // grows (nor held twice meanwhile).
    void reserve(std::size_t banks);
    void addBank(CatalogBank bank, std::span<const std::uint8_t, kBankPatchBytes> patches);
    // Groups the patches by sound; call once all banks are added.
    void finish();

    std::size_t bankCount() const { return _banks.size(); }
    std::size_t patchCount() const { return _names.size(); }
    const CatalogBank& bank(PatchId patch) const { return _banks[patch / kPatchCount]; }
    std::int64_t row(PatchId patch) const { return patch % kPatchCount; }
    std::span<const std::uint8_t, kPatchSize> patchData(PatchId patch) const;
    std::string name(PatchId patch) const; // as a bank gives it: patchName()
    std::int32_t chain(PatchId patch) const { return _names[patch].chain; }
    SoundKey soundKey(PatchId patch) const;

    // The patches whose name holds text, in any case (names are ASCII); all
    // for an empty text. With onePerSound, only the first patch of each
    // sound found.
    std::vector<PatchId> search(std::string_view text, bool onePerSound) const;
    // The patches that pass query, given what was said of each sound (which
    // may be left empty for a query that asks nothing of sounds).
    std::vector<PatchId> search(const SoundQuery& query, const SaidOfSounds& said,
                                bool onePerSound) const;
    // The same, for one search of sounds.
    std::vector<PatchId> search(const SoundQuery& query, const SoundsSnapshot& sounds,
                                bool onePerSound) const;
    // What sounds says of each of the catalog's sounds. Making it costs
    // about what one search that finds each sound in sounds would cost; a
    // search given it is then about as quick as one by name alone: keep it
    // for the searches of one snapshot. It points into sounds.
    SaidOfSounds saidOf(const SoundsSnapshot& sounds) const;
    // The number of the catalog's sound of key, when a patch holds it.
    std::optional<std::uint32_t> soundWithKey(const SoundKey& key) const;
    std::size_t soundCount() const { return _soundStart.empty() ? 0 : _soundStart.size() - 1; }
    std::uint32_t soundOf(PatchId patch) const { return _sound[patch]; }
    // Every patch with the same sound as patch (itself too), ordered: the
    // same 64 bytes apart from the name's seven, and for a patch that plays
    // its bank's chain data (chain 128 and up) the same chain ID too, as the
    // same bytes over other chain data are another sound.
    std::span<const PatchId> sameSound(PatchId patch) const;
    // How many other patches hold the sound of patch.
    std::uint32_t otherPlaces(PatchId patch) const;

    CatalogPayload payload(std::span<const PatchId> patches) const;

private:
    // What a search reads of each patch, side by side in eight bytes.
    struct SearchName
    {
        std::array<char, kPatchNameLength> lower{}; // zero from the first zero on
        std::uint8_t chain = 0;

        std::string_view text() const
        {
            return {lower.data(), static_cast<std::size_t>(
                                      std::find(lower.begin(), lower.end(), '\0') - lower.begin())};
        }
    };

    std::vector<CatalogBank> _banks;
    std::vector<std::uint8_t> _patches;
    std::vector<SearchName> _names;
    std::vector<std::uint32_t> _sound;   // of each patch
    std::vector<std::size_t> _soundHash; // of each sound's key, by SoundKeyHash
    // The sounds by the hash of their keys, open addressed: a sound's number
    // plus one in the first free slot from its hash on; zero for a free slot.
    std::vector<std::uint32_t> _soundSlots;
    // The patches of sound s are _soundPatches[_soundStart[s] .. _soundStart[s + 1]).
    std::vector<PatchId> _soundPatches;
    std::vector<std::uint32_t> _soundStart;
};

} // namespace a3::library
