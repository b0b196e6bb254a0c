#pragma once

#include "Result.h"
#include "SoundData.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3::library {

// The file that carries what a user said about their sounds from one
// database to another: JSON, of a shape and version that the manual page
// documents. Readers of a version take no file of another.
inline constexpr int kSoundsFileVersion = 1;
inline constexpr std::string_view kSoundsFileFormat = "A3 Librarian sounds";

std::string soundsFileText(std::span<const StoredSound> sounds);
// The sounds of a sounds file, each within the rules of a sound's data; or
// why the text is not such a file (not JSON, another version, a value of
// the wrong shape), naming the sound.
Result<std::vector<StoredSound>> soundsFromFileText(std::string_view text);

} // namespace a3::library
