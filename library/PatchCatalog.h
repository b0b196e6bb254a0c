#pragma once

#include "BankWalk.h"
#include "Sound.h"
#include "SoundData.h"
#include "SoundQuery.h"

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
    std::int32_t chain(PatchId patch) const { return patchData(patch)[0]; }
    SoundKey soundKey(PatchId patch) const;

    // The patches whose name holds text, in any case (names are ASCII); all
    // for an empty text. With onePerSound, only the first patch of each
    // sound found.
    std::vector<PatchId> search(std::string_view text, bool onePerSound) const;
    // The patches that pass query, with what sounds says of their sounds.
    std::vector<PatchId> search(const SoundQuery& query, const SoundsSnapshot& sounds,
                                bool onePerSound) const;
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
    using SearchName = std::array<char, kPatchNameLength>;

    std::vector<CatalogBank> _banks;
    std::vector<std::uint8_t> _patches;
    std::vector<SearchName> _names;    // lower case, zero from the first zero on
    std::vector<std::uint32_t> _sound; // of each patch
    // The patches of sound s are _soundPatches[_soundStart[s] .. _soundStart[s + 1]).
    std::vector<PatchId> _soundPatches;
    std::vector<std::uint32_t> _soundStart;
};

} // namespace a3::library
