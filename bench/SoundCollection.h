#pragma once

#include "PatchCatalog.h"
#include "SoundData.h"

#include <filesystem>
#include <vector>

namespace a3::bench {

// The catalog of bankCollection() (1,000,000 patches), as the Library builds
// it from its index. The index is kept under the temporary folder, so that a
// later run only looks at the files again.
const library::PatchCatalog& collectionCatalog();

// What a user said of 100,000 of the catalog's sounds, picked at random
// (about one sound in seven, so of the patches named "Hall" too), the same
// every run: a third favourites and a tenth not, a rating on 60 %, three
// tags each of 20 words ("ambient" on 15 %), a note on 10 %.
const std::vector<library::StoredSound>& soundsWithData();

// A sounds database holding soundsWithData(), made anew at file and closed,
// its journal checkpointed into it.
void makeFilledSoundsDatabase(const std::filesystem::path& file);

// Copies a closed database file to a new place, replacing any there.
void copyDatabase(const std::filesystem::path& from, const std::filesystem::path& to);
void removeDatabase(const std::filesystem::path& file);

} // namespace a3::bench
