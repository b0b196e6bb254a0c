#include "SoundData.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace a3::library {
namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of the well-formed UTF-8 sequence of a letter beyond ASCII at
// text[at], or 0.
std::size_t utf8SequenceAt(std::string_view text, std::size_t at)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    const std::size_t length = byte >= 0xF0 && byte <= 0xF4   ? 4
                               : byte >= 0xE0                 ? 3
                               : byte >= 0xC2 && byte <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // No overlong form, no surrogate, nothing beyond U+10FFFF.
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second >= 0xA0) ||
        (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second >= 0x90)) {
        return 0;
    }
    return length;
}

bool isTagCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

} // namespace

bool isUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
        } else if (const std::size_t length = utf8SequenceAt(text, at); length > 0) {
            at += length;
        } else {
            return false;
        }
    }
    return true;
}

bool sameTag(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, {}, lowerAscii, lowerAscii);
}

bool SoundData::hasTag(std::string_view tag) const
{
    return std::ranges::any_of(tags, [&](const std::string& held) { return sameTag(held, tag); });
}

Outcome checkTag(std::string_view tag)
{
    if (tag.empty()) {
        return Failure{"a tag cannot be empty"};
    }
    if (tag.size() > kLongestTag) {
        return Failure{"a tag is at most " + std::to_string(kLongestTag) + " bytes long"};
    }
    for (std::size_t at = 0; at < tag.size();) {
        if (isTagCharacter(tag[at])) {
            ++at;
        } else if (const std::size_t length = utf8SequenceAt(tag, at); length > 0) {
            at += length;
        } else {
            return Failure{"a tag is one word of letters, digits, '-', '_' and '.'"};
        }
    }
    return {};
}

Outcome checkChange(const SoundChange& change)
{
    if (change.rating && (*change.rating < kNoRating || *change.rating > kHighestRating)) {
        return Failure{"a rating is 1 to 5, or none"};
    }
    for (const auto* tags : {&change.addTags, &change.removeTags}) {
        for (const std::string& tag : *tags) {
            if (Outcome checked = checkTag(tag); !checked.ok()) {
                return Failure{checked.failure().reason + ", not \"" + tag + "\""};
            }
        }
    }
    if (change.note) {
        return checkNote(*change.note);
    }
    return {};
}

Outcome checkNote(std::string_view note)
{
    if (note.size() > kLongestNote) {
        return Failure{"a note is at most " + std::to_string(kLongestNote) + " bytes long"};
    }
    if (!isUtf8(note)) {
        return Failure{"a note is text in UTF-8"};
    }
    return {};
}

Result<SoundChange> tagsEdited(std::span<const std::string> shown, std::string_view typed)
{
    std::vector<std::string> words;
    std::string word;
    for (std::size_t at = 0; at <= typed.size(); ++at) {
        if (at == typed.size() || typed[at] == ' ' || typed[at] == ',' || typed[at] == '\t') {
            if (!word.empty()) {
                words.push_back(std::exchange(word, {}));
            }
        } else {
            word += typed[at];
        }
    }
    SoundChange change;
    for (const std::string& tag : words) {
        if (Outcome checked = checkTag(tag); !checked.ok()) {
            return Failure{checked.failure().reason + ", not \"" + tag + "\""};
        }
        const auto same = [&](const std::string& other) { return sameTag(tag, other); };
        if (std::ranges::none_of(shown, same) && std::ranges::none_of(change.addTags, same)) {
            change.addTags.push_back(tag);
        }
    }
    for (const std::string& tag : shown) {
        if (std::ranges::none_of(words, [&](const std::string& w) { return sameTag(tag, w); })) {
            change.removeTags.push_back(tag);
        }
    }
    return change;
}

std::string_view favouriteText(Favourite favourite)
{
    switch (favourite) {
    case Favourite::Yes:
        return "yes";
    case Favourite::No:
        return "no";
    case Favourite::Undecided:
        break;
    }
    return "undecided";
}

std::optional<Favourite> favouriteFromText(std::string_view text)
{
    for (const Favourite favourite : {Favourite::Undecided, Favourite::Yes, Favourite::No}) {
        if (text == favouriteText(favourite)) {
            return favourite;
        }
    }
    return std::nullopt;
}

std::string setTimeText(SetTime time)
{
    const std::time_t seconds = static_cast<std::time_t>(time / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96]; // room for any int the format is given
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(time % 1000));
    return text;
}

std::optional<SetTime> setTimeFromText(std::string_view text)
{
    // Digits where the shape has them, these characters elsewhere.
    constexpr std::string_view kShape = "0000-00-00T00:00:00.000Z";
    if (text.size() != kShape.size()) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < kShape.size(); ++k) {
        const bool digit = text[k] >= '0' && text[k] <= '9';
        if (kShape[k] == '0' ? !digit : text[k] != kShape[k]) {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t k = at; k < at + length; ++k) {
            value = value * 10 + (text[k] - '0');
        }
        return value;
    };
    using namespace std::chrono;
    const year_month_day date{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                              day(static_cast<unsigned>(number(8, 2)))};
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const auto time = sys_days(date) + hours(hour) + minutes(minute) + seconds(second) +
                      milliseconds(number(20, 3));
    if (time.time_since_epoch().count() < 0) {
        return std::nullopt; // before 1970: no time a sound was set
    }
    return time.time_since_epoch().count();
}

SetTime setTimeNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace a3::library
