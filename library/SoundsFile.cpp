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

// Opens a sound's object with its patch and chain ID, for the caller to
// add to or close.
void appendPatch(std::string& out, const Sound& sound)
{
    out += "{\"patch\": \"";
    for (const std::uint8_t byte : sound.patch) {
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0xF];
    }
    out += "\", \"chainId\": \"" + chainIdHex(sound.chainId) + '"';
}

// An object's patch and chain ID, read into sound; the reason they cannot
// be, or empty.
std::string readPatch(simdjson::dom::object object, Sound& sound)
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
        sound.patch[k] = static_cast<std::uint8_t>(high << 4 | low);
    }
    std::string_view chainId;
    if (object["chainId"].get(chainId) != simdjson::SUCCESS || chainId.size() != 4 ||
        std::ranges::any_of(chainId, [](char c) { return hexValue(c) < 0; })) {
        return "has no \"chainId\" of four hexadecimal digits";
    }
    sound.chainId =
        static_cast<std::uint16_t>(hexValue(chainId[0]) << 12 | hexValue(chainId[1]) << 8 |
                                   hexValue(chainId[2]) << 4 | hexValue(chainId[3]));
    return {};
}

// One sound's object, read into stored; the reason it cannot be, or empty.
std::string readSound(simdjson::dom::object object, StoredSound& stored)
{
    if (std::string why = readPatch(object, stored.sound); !why.empty()) {
        return why;
    }
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

std::string named(std::size_t number, std::string_view name)
{
    return std::to_string(number) + " (\u201C" + std::string(name) + "\u201D)";
}

// The list at key of the file into list, and whether the file has one there;
// false when what it has there is no list.
bool readList(simdjson::dom::object file, const char* key, simdjson::dom::array& list,
              bool& present)
{
    simdjson::dom::element value;
    present = file[key].get(value) == simdjson::SUCCESS;
    return !present || value.get(list) == simdjson::SUCCESS;
}

// The file's sets, read into sets; the reason they cannot be, or empty.
std::string readSets(simdjson::dom::object file, std::vector<NamedSet>& sets)
{
    simdjson::dom::array list;
    bool present = false;
    if (!readList(file, "sets", list, present)) {
        return "a sounds file whose \"sets\" are not a list";
    }
    if (!present) {
        return {};
    }
    if (list.size() > kMostSets) {
        return "a sounds file of " + std::to_string(list.size()) + " sets; at most " +
               std::to_string(kMostSets) + " are kept";
    }
    std::size_t number = 0;
    for (simdjson::dom::element element : list) {
        ++number;
        simdjson::dom::object object;
        std::string_view name;
        if (element.get(object) != simdjson::SUCCESS) {
            return "set " + std::to_string(number) + " is not an object";
        }
        if (object["name"].get(name) != simdjson::SUCCESS) {
            return "set " + std::to_string(number) + " has no \"name\" text";
        }
        if (Outcome checked = checkSetName(name); !checked.ok()) {
            return "set " + std::to_string(number) +
                   " has a name that breaks the rules: " + checked.failure().reason;
        }
        simdjson::dom::array entries;
        if (object["sounds"].get(entries) != simdjson::SUCCESS) {
            return "set " + named(number, name) + " has no \"sounds\" list";
        }
        if (entries.size() > kMostSoundsInASet) {
            return "set " + named(number, name) + " has " + std::to_string(entries.size()) +
                   " sounds; a set holds at most " + std::to_string(kMostSoundsInASet);
        }
        NamedSet& set = sets.emplace_back(NamedSet{std::string(name), {}});
        set.sounds.reserve(entries.size());
        std::size_t entry = 0;
        for (simdjson::dom::element sound : entries) {
            ++entry;
            simdjson::dom::object fields;
            std::string why = sound.get(fields) == simdjson::SUCCESS
                                  ? readPatch(fields, set.sounds.emplace_back())
                                  : "is not an object";
            if (!why.empty()) {
                return "set " + named(number, name) + " sound " + std::to_string(entry) + " " + why;
            }
        }
    }
    return {};
}

// The file's smart lists, read into lists; the reason they cannot be, or
// empty.
std::string readSmartLists(simdjson::dom::object file, std::vector<SmartList>& lists)
{
    simdjson::dom::array list;
    bool present = false;
    if (!readList(file, "smartLists", list, present)) {
        return "a sounds file whose \"smartLists\" are not a list";
    }
    if (!present) {
        return {};
    }
    if (list.size() > kMostSmartLists) {
        return "a sounds file of " + std::to_string(list.size()) + " smart lists; at most " +
               std::to_string(kMostSmartLists) + " are kept";
    }
    std::size_t number = 0;
    for (simdjson::dom::element element : list) {
        ++number;
        simdjson::dom::object object;
        std::string_view name, query;
        if (element.get(object) != simdjson::SUCCESS) {
            return "smart list " + std::to_string(number) + " is not an object";
        }
        if (object["name"].get(name) != simdjson::SUCCESS) {
            return "smart list " + std::to_string(number) + " has no \"name\" text";
        }
        if (Outcome checked = checkSetName(name); !checked.ok()) {
            return "smart list " + std::to_string(number) +
                   " has a name that breaks the rules: " + checked.failure().reason;
        }
        if (object["query"].get(query) != simdjson::SUCCESS) {
            return "smart list " + named(number, name) + " has no \"query\" text";
        }
        if (Outcome checked = checkSmartListQuery(query); !checked.ok()) {
            return "smart list " + named(number, name) +
                   " has a query that breaks the rules: " + checked.failure().reason;
        }
        lists.push_back({0, std::string(name), std::string(query)});
    }
    return {};
}

} // namespace

std::string soundsFileText(const SoundsContent& content)
{
    const std::vector<StoredSound>& sounds = content.sounds;
    std::string out;
    out.reserve(64 + sounds.size() * 400);
    out += "{\n  \"format\": ";
    appendString(out, kSoundsFileFormat);
    out += ",\n  \"version\": " + std::to_string(kSoundsFileVersion) + ",\n  \"sounds\": [";
    for (std::size_t k = 0; k < sounds.size(); ++k) {
        const SoundData& data = sounds[k].data;
        out += k == 0 ? "\n    " : ",\n    ";
        appendPatch(out, sounds[k].sound);
        out += ",\n     \"favourite\": ";
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
    out += sounds.empty() ? "],\n  \"sets\": [" : "\n  ],\n  \"sets\": [";
    for (std::size_t k = 0; k < content.sets.size(); ++k) {
        const NamedSet& set = content.sets[k];
        out += k == 0 ? "\n    {\"name\": " : ",\n    {\"name\": ";
        appendString(out, set.name);
        out += ", \"sounds\": [";
        for (std::size_t e = 0; e < set.sounds.size(); ++e) {
            out += e == 0 ? "\n      " : ",\n      ";
            appendPatch(out, set.sounds[e]);
            out += '}';
        }
        out += set.sounds.empty() ? "]}" : "\n    ]}";
    }
    out += content.sets.empty() ? "],\n  \"smartLists\": [" : "\n  ],\n  \"smartLists\": [";
    for (std::size_t k = 0; k < content.smartLists.size(); ++k) {
        out += k == 0 ? "\n    {\"name\": " : ",\n    {\"name\": ";
        appendString(out, content.smartLists[k].name);
        out += ", \"query\": ";
        appendString(out, content.smartLists[k].query);
        out += '}';
    }
    out += content.smartLists.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

Result<SoundsContent> soundsFromFileText(std::string_view text)
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
    if (version < 1 || version > kSoundsFileVersion) {
        return Failure{"a sounds file of version " + std::to_string(version) +
                       "; this version of A3 Librarian reads versions 1 to " +
                       std::to_string(kSoundsFileVersion)};
    }
    simdjson::dom::array list;
    if (file["sounds"].get(list) != simdjson::SUCCESS) {
        return Failure{"a sounds file without a \"sounds\" list"};
    }
    SoundsContent content;
    content.sounds.reserve(list.size());
    std::size_t number = 0;
    for (simdjson::dom::element element : list) {
        ++number;
        simdjson::dom::object object;
        std::string why = element.get(object) == simdjson::SUCCESS
                              ? readSound(object, content.sounds.emplace_back())
                              : "is not an object";
        if (!why.empty()) {
            return Failure{"sound " + std::to_string(number) + " " + why};
        }
    }
    if (version >= 2) {
        if (std::string why = readSets(file, content.sets); !why.empty()) {
            return Failure{std::move(why)};
        }
        if (std::string why = readSmartLists(file, content.smartLists); !why.empty()) {
            return Failure{std::move(why)};
        }
    }
    return content;
}

} // namespace a3::library
