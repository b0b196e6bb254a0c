#pragma once

#include "Result.h"
#include "SoundData.h"
#include "SoundSets.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3::library {

// The file that carries what a user said about their sounds, their sets and
// smart lists from one database to another: JSON, of a shape and version
// that the manual page documents. A reader takes files of its version and
// earlier ones (version 1 holds no sets and no smart lists), none of a later.
inline constexpr int kSoundsFileVersion = 2;
inline constexpr std::string_view kSoundsFileFormat = "A3 Librarian sounds";

std::string soundsFileText(const SoundsContent& content);
// What a sounds file holds, each value within its rules; or why the text is
// not such a file (not JSON, a later version, a value of the wrong shape),
// naming the sound, set or smart list.
Result<SoundsContent> soundsFromFileText(std::string_view text);

} // namespace a3::library
