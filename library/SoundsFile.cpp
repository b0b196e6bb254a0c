#include "SoundsFile.h"

#include <algorithm>
#include <cstdio>
#include <simdjson.h>

namespace a3::library {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void appendString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendTime(std::string& out, SetTime time)
{
    if (time == 0) {
        out += "null";
    } else {
        appendString(out, setTimeText(time));
    }
}

std::string chainIdHex(std::uint16_t chainId)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", chainId);
    return text;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// One sound's object, read into stored; the reason it cannot be, or empty.
std::string readSound(simdjson::dom::object object, StoredSound& stored)
{
    std::string_view patch;
    if (object["patch"].get(patch) != simdjson::SUCCESS) {
        return "has no \"patch\" text";
    }
    if (patch.size() != 2 * kPatchSize) {
        return "has a patch of " + std::to_string(patch.size() / 2) + " bytes, not " +
               std::to_string(kPatchSize);
    }
    for (std::size_t k = 0; k < kPatchSize; ++k) {
        const int high = hexValue(patch[2 * k]), low = hexValue(patch[2 * k + 1]);
        if (high < 0 || low < 0) {
            return "has a patch that is not hexadecimal";
        }
        stored.sound.patch[k] = static_cast<std::uint8_t>(high << 4 | low);
    }
    std::string_view chainId;
    if (object["chainId"].get(chainId) != simdjson::SUCCESS || chainId.size() != 4 ||
        std::ranges::any_of(chainId, [](char c) { return hexValue(c) < 0; })) {
        return "has no \"chainId\" of four hexadecimal digits";
    }
    stored.sound.chainId =
        static_cast<std::uint16_t>(hexValue(chainId[0]) << 12 | hexValue(chainId[1]) << 8 |
                                   hexValue(chainId[2]) << 4 | hexValue(chainId[3]));

    SoundData& data = stored.data;
    const auto readTime = [&](const char* key, SetTime& time) {
        simdjson::dom::element value;
        if (object[key].get(value) != simdjson::SUCCESS || value.is_null()) {
            time = 0;
            return true;
        }
        std::string_view text;
        const auto parsed =
            value.get(text) == simdjson::SUCCESS ? setTimeFromText(text) : std::nullopt;
        time = parsed.value_or(0);
        return parsed.has_value();
    };

    std::string_view favourite = "undecided";
    if (simdjson::dom::element value; object["favourite"].get(value) == simdjson::SUCCESS) {
        const auto decided =
            value.get(favourite) == simdjson::SUCCESS ? favouriteFromText(favourite) : std::nullopt;
        if (!decided) {
            return "has a \"favourite\" that is not \"yes\", \"no\" or \"undecided\"";
        }
        data.favourite = *decided;
    }
    if (!readTime("favouriteSet", data.favouriteSet)) {
        return "has a \"favouriteSet\" that is not a time such as \"2026-12-08T22:30:01.123Z\"";
    }
    if (simdjson::dom::element value;
        object["rating"].get(value) == simdjson::SUCCESS && !value.is_null()) {
        std::int64_t rating = 0;
        if (value.get(rating) != simdjson::SUCCESS || rating < 1 || rating > kHighestRating) {
            return "has a \"rating\" that is not 1 to 5 or null";
        }
        data.rating = static_cast<int>(rating);
    }
    if (!readTime("ratingSet", data.ratingSet)) {
        return "has a \"ratingSet\" that is not a time such as \"2026-12-08T22:30:01.123Z\"";
    }
    if (simdjson::dom::element value; object["tags"].get(value) == simdjson::SUCCESS) {
        simdjson::dom::array tags;
        if (value.get(tags) != simdjson::SUCCESS) {
            return "has \"tags\" that are not a list";
        }
        if (tags.size() > kMostTagsOfASound) {
            return "has " + std::to_string(tags.size()) + " tags; a sound has at most " +
                   std::to_string(kMostTagsOfASound);
        }
        for (simdjson::dom::element tag : tags) {
            std::string_view text;
            if (tag.get(text) != simdjson::SUCCESS) {
                return "has a tag that is not text";
            }
            if (Outcome checked = checkTag(text); !checked.ok()) {
                return "has a tag that breaks the rules: " + checked.failure().reason;
            }
            if (!data.hasTag(text)) {
                data.tags.emplace_back(text);
            }
        }
    }
    if (simdjson::dom::element value; object["note"].get(value) == simdjson::SUCCESS) {
        std::string_view note;
        if (value.get(note) != simdjson::SUCCESS) {
            return "has a \"note\" that is not text";
        }
        if (Outcome checked = checkNote(note); !checked.ok()) {
            return "has a note that breaks the rules: " + checked.failure().reason;
        }
        data.note = note;
    }
    if (!readTime("noteSet", data.noteSet)) {
        return "has a \"noteSet\" that is not a time such as \"2026-12-08T22:30:01.123Z\"";
    }
    return {};
}

} // namespace

std::string soundsFileText(std::span<const StoredSound> sounds)
{
    std::string out;
    out.reserve(64 + sounds.size() * 400);
    out += "{\n  \"format\": ";
    appendString(out, kSoundsFileFormat);
    out += ",\n  \"version\": " + std::to_string(kSoundsFileVersion) + ",\n  \"sounds\": [";
    for (std::size_t k = 0; k < sounds.size(); ++k) {
        const Sound& sound = sounds[k].sound;
        const SoundData& data = sounds[k].data;
        out += k == 0 ? "\n    {\"patch\": \"" : ",\n    {\"patch\": \"";
        for (const std::uint8_t byte : sound.patch) {
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        }
        out += "\", \"chainId\": \"" + chainIdHex(sound.chainId) + "\",\n     \"favourite\": ";
        appendString(out, favouriteText(data.favourite));
        out += ", \"favouriteSet\": ";
        appendTime(out, data.favouriteSet);
        out += ",\n     \"rating\": ";
        out += data.rating == kNoRating ? "null" : std::to_string(data.rating);
        out += ", \"ratingSet\": ";
        appendTime(out, data.ratingSet);
        out += ",\n     \"tags\": [";
        for (std::size_t t = 0; t < data.tags.size(); ++t) {
            if (t > 0) {
                out += ", ";
            }
            appendString(out, data.tags[t]);
        }
        out += "],\n     \"note\": ";
        appendString(out, data.note);
        out += ", \"noteSet\": ";
        appendTime(out, data.noteSet);
        out += '}';
    }
    out += sounds.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

Result<std::vector<StoredSound>> soundsFromFileText(std::string_view text)
{
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (const auto error = parser.parse(simdjson::padded_string(text)).get(root);
        error != simdjson::SUCCESS) {
        return Failure{std::string("not JSON: ") + simdjson::error_message(error)};
    }
    simdjson::dom::object file;
    std::string_view format;
    if (root.get(file) != simdjson::SUCCESS || file["format"].get(format) != simdjson::SUCCESS ||
        format != kSoundsFileFormat) {
        return Failure{"not a sounds file: it has no \"format\": \"" +
                       std::string(kSoundsFileFormat) + "\""};
    }
    std::int64_t version = 0;
    if (file["version"].get(version) != simdjson::SUCCESS) {
        return Failure{"a sounds file without a \"version\" number"};
    }
    if (version != kSoundsFileVersion) {
        return Failure{"a sounds file of version " + std::to_string(version) +
                       "; this version of A3 Librarian reads version " +
                       std::to_string(kSoundsFileVersion)};
    }
    simdjson::dom::array list;
    if (file["sounds"].get(list) != simdjson::SUCCESS) {
        return Failure{"a sounds file without a \"sounds\" list"};
    }
    std::vector<StoredSound> sounds;
    sounds.reserve(list.size());
    std::size_t number = 0;
    for (simdjson::dom::element element : list) {
        ++number;
        simdjson::dom::object object;
        std::string why = element.get(object) == simdjson::SUCCESS
                              ? readSound(object, sounds.emplace_back())
                              : "is not an object";
        if (!why.empty()) {
            return Failure{"sound " + std::to_string(number) + " " + why};
        }
    }
    return sounds;
}

} // namespace a3::library
