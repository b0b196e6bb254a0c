#pragma once

#include "Result.h"
#include "Sound.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace a3::library {

// "No" is a decision too: a sound the user has not judged yet is neither.
enum class Favourite : std::uint8_t
{
    Undecided = 0,
    Yes = 1,
    No = 2
};

// Milliseconds since 1970-01-01 UTC; 0 for never.
using SetTime = std::int64_t;

inline constexpr int kNoRating = 0;
inline constexpr int kHighestRating = 5;
inline constexpr std::size_t kMostTagsOfASound = 100;
inline constexpr std::size_t kLongestTag = 64;      // bytes
inline constexpr std::size_t kLongestNote = 10'000; // bytes

// What a user said about a sound, and when each decision was last made, so
// that a merge keeps the newer one.
struct SoundData
{
    Favourite favourite = Favourite::Undecided;
    int rating = kNoRating; // 1 to kHighestRating
    // As first typed, ordered in any case.
    std::vector<std::string> tags;
    std::string note;
    SetTime favouriteSet = 0;
    SetTime ratingSet = 0;
    SetTime noteSet = 0;

    bool operator==(const SoundData&) const = default;
    bool holdsNothing() const
    {
        return favourite == Favourite::Undecided && rating == kNoRating && tags.empty() &&
               note.empty();
    }
    bool hasTag(std::string_view tag) const;
    // Nothing was ever said of it: no decision, not even one taken back.
    // No such sound is kept.
    bool neverSaid() const { return *this == SoundData{}; }
};

// Every sound's data, by sound.
using SoundsSnapshot = std::unordered_map<SoundKey, SoundData, SoundKeyHash>;

struct StoredSound
{
    Sound sound;
    SoundData data;
};

// What the user asks of some sounds at once; what is not given stays.
struct SoundChange
{
    std::optional<Favourite> favourite = std::nullopt;
    std::optional<int> rating = std::nullopt;
    std::vector<std::string> addTags = {};
    std::vector<std::string> removeTags = {};
    std::optional<std::string> note = std::nullopt;
};

// Tags are words of letters, digits, '-', '_' and '.' (letters beyond ASCII
// too, as UTF-8), compared in any case.
Outcome checkTag(std::string_view tag);
Outcome checkNote(std::string_view note);
// A change's values are each within their rules.
Outcome checkChange(const SoundChange& change);
bool sameTag(std::string_view a, std::string_view b);
// Well-formed UTF-8: no overlong form, surrogate or code point past U+10FFFF.
bool isUtf8(std::string_view text);

// The change that turns the tags shown, those all of some sounds have, into
// the words typed (separated by spaces or commas): the tags no longer typed
// are removed, the new ones added; or why a word typed is no tag.
Result<SoundChange> tagsEdited(std::span<const std::string> shown, std::string_view typed);

std::string_view favouriteText(Favourite favourite); // "yes", "no", "undecided"
std::optional<Favourite> favouriteFromText(std::string_view text);

// "2026-12-08T22:30:01.123Z"; the parse takes exactly that shape.
std::string setTimeText(SetTime time);
std::optional<SetTime> setTimeFromText(std::string_view text);
SetTime setTimeNow();

} // namespace a3::library
