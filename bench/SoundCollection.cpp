#include "SoundCollection.h"

#include "BankCollection.h"
#include "LibraryIndex.h"
#include "SoundsDatabase.h"

#include <algorithm>
#include <array>
#include <functional>
#include <iostream>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>

namespace a3::bench {
namespace {

namespace fs = std::filesystem;
using library::Favourite;
using library::SoundData;
using library::StoredSound;

constexpr std::size_t kSoundsWithData = 100'000;
// Lower case, so that the order the database keeps them in is theirs.
constexpr std::array<const char*, 20> kTags{
    "ambient", "big",  "bright", "classic", "clean", "cold",   "dark",   "drums", "guitar", "keys",
    "live",    "long", "lush",   "short",   "small", "studio", "subtle", "vocal", "warm",   "wide"};
constexpr std::array<const char*, 6> kNoteWords{"the chorus",  "the bridge", "the intro",
                                                "the ballads", "the encore", "rehearsals"};
// 2026-01-01T00:00:00Z: decisions are spread over the year after it.
constexpr library::SetTime kFirstDecision = 1'767'225'600'000;

SoundData randomData(std::mt19937& random)
{
    SoundData data;
    const auto when = [&] {
        return kFirstDecision +
               static_cast<library::SetTime>(random() % (365LL * 24 * 3600)) * 1000;
    };
    if (const auto draw = random() % 30; draw < 10) {
        data.favourite = Favourite::Yes;
        data.favouriteSet = when();
    } else if (draw < 13) {
        data.favourite = Favourite::No;
        data.favouriteSet = when();
    }
    if (random() % 10 < 6) {
        data.rating = static_cast<int>(1 + random() % library::kHighestRating);
        data.ratingSet = when();
    }
    std::array<std::size_t, kTags.size()> order{};
    std::iota(order.begin(), order.end(), 0);
    for (std::size_t k = 0; k < 3; ++k) {
        std::swap(order[k], order[k + random() % (order.size() - k)]);
    }
    std::sort(order.begin(), order.begin() + 3);
    for (std::size_t k = 0; k < 3; ++k) {
        data.tags.emplace_back(kTags[order[k]]);
    }
    if (random() % 10 == 0) {
        data.note = std::string("Kept for ") + kNoteWords[random() % kNoteWords.size()] +
                    "; a touch less mix on the small stage, take " +
                    std::to_string(1 + random() % 12) + ".";
        data.noteSet = when();
    }
    return data;
}

} // namespace

const library::PatchCatalog& collectionCatalog()
{
    static const library::PatchCatalog catalog = [] {
        const fs::path root = bankCollection();
        const fs::path index =
            fs::temp_directory_path() /
            ("a3-sounds-bench-index-" + std::to_string(std::hash<std::string>{}(root.native())) +
             ".sqlite");
        std::cerr << "Indexing " << root << " into " << index << " ...\n";
        library::LibraryIndex library(index);
        const fs::path folders[] = {root};
        library.update(folders);
        return library.catalog();
    }();
    return catalog;
}

const std::vector<StoredSound>& soundsWithData()
{
    static const std::vector<StoredSound> sounds = [] {
        const library::PatchCatalog& catalog = collectionCatalog();
        // Each sound by its first patch.
        std::vector<library::PatchCatalog::PatchId> firstPatch(
            catalog.soundCount(), static_cast<library::PatchCatalog::PatchId>(-1));
        for (library::PatchCatalog::PatchId patch = 0; patch < catalog.patchCount(); ++patch) {
            auto& first = firstPatch[catalog.soundOf(patch)];
            first = std::min(first, patch);
        }
        std::mt19937 random(20261208);
        std::shuffle(firstPatch.begin(), firstPatch.end(), random);
        firstPatch.resize(std::min(firstPatch.size(), kSoundsWithData));
        std::vector<StoredSound> all;
        all.reserve(firstPatch.size());
        for (const library::PatchCatalog::PatchId patch : firstPatch) {
            StoredSound& stored = all.emplace_back();
            std::ranges::copy(catalog.patchData(patch), stored.sound.patch.begin());
            stored.sound.chainId = catalog.bank(patch).chainChecksum;
            stored.data = randomData(random);
        }
        return all;
    }();
    return sounds;
}

void makeFilledSoundsDatabase(const fs::path& file)
{
    removeDatabase(file);
    auto opened = library::SoundsDatabase::open(file);
    if (!opened.ok()) {
        throw std::runtime_error(opened.failure().reason);
    }
    const auto merged = (*opened)->merge(a3::library::SoundsContent{soundsWithData(), {}, {}});
    if (!merged.ok() || merged->soundsNew != soundsWithData().size()) {
        throw std::runtime_error("the sounds database could not be filled");
    }
}

void copyDatabase(const fs::path& from, const fs::path& to)
{
    removeDatabase(to);
    fs::copy_file(from, to);
}

void removeDatabase(const fs::path& file)
{
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::remove(file.native() + suffix);
    }
}

} // namespace a3::bench
