#pragma once

#include "BankWalk.h"
#include "CommandLine.h"
#include "Result.h"
#include "SoundData.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace a3::cli {

// "FILE:NUMBER", split at its last colon, with NUMBER from 1 to 100 as a row.
std::optional<std::pair<std::filesystem::path, std::int64_t>> soundReference(std::string_view text);

// Why a file read gives no one bank for what (such as "--same"), or why a
// file cannot be searched.
std::string whyNoBank(const library::BanksRead& read, std::string_view what);

// What the user said of their sounds, for a search: nothing when they have
// said nothing yet (no database is made for a search).
Result<library::SoundsSnapshot> usersSounds();

// tag FILE:NUMBER... [--fav ...] [--rating ...] [--add TAG]... [--remove TAG]...
// [--note TEXT]: sets what the user says of the sounds of those patches.
int tagCommand(const Arguments& arguments);

// sounds export [-o FILE] and sounds import FILE.
int soundsCommand(const Arguments& arguments);

} // namespace a3::cli
