// Any bytes as a sounds file, and as a search. A file read is within the
// rules of a sound's data, sound by sound; written again and read back it
// gives the same sounds, sets and smart lists, and writing those gives the
// same text. A search that reads matches an empty sound without a fault,
// whatever it asks.

#include "Require.h"
#include "SoundQuery.h"
#include "SoundsFile.h"

#include <algorithm>
#include <string_view>

namespace {

using namespace a3::library;
using a3::fuzz::require;

bool withinRules(const SoundData& data)
{
    if (data.rating < kNoRating || data.rating > kHighestRating ||
        data.tags.size() > kMostTagsOfASound || !checkNote(data.note).ok()) {
        return false;
    }
    for (const std::string& tag : data.tags) {
        if (!checkTag(tag).ok()) {
            return false;
        }
    }
    return true;
}

bool sameSound(const Sound& a, const Sound& b)
{
    return a.patch == b.patch && a.chainId == b.chainId;
}

bool same(const SoundsContent& a, const SoundsContent& b)
{
    return std::ranges::equal(a.sounds, b.sounds,
                              [](const StoredSound& x, const StoredSound& y) {
                                  return sameSound(x.sound, y.sound) && x.data == y.data;
                              }) &&
           std::ranges::equal(a.sets, b.sets,
                              [](const NamedSet& x, const NamedSet& y) {
                                  return x.name == y.name &&
                                         std::ranges::equal(x.sounds, y.sounds, sameSound);
                              }) &&
           std::ranges::equal(a.smartLists, b.smartLists,
                              [](const SmartList& x, const SmartList& y) {
                                  return x.name == y.name && x.query == y.query;
                              });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto read = soundsFromFileText(text); read.ok()) {
        for (const StoredSound& stored : read->sounds) {
            require(withinRules(stored.data), "every sound read is within the rules");
        }
        const std::string written = soundsFileText(*read);
        const auto again = soundsFromFileText(written);
        require(again.ok(), "a file written reads");
        require(same(*read, *again), "a file written reads back as the sounds written");
        require(soundsFileText(*again) == written,
                "writing what was read back gives the same text");
    }
    if (const auto query = SoundQuery::parse(text); query.ok()) {
        query->nameMatches("hall");
        query->bankMatches("/banks/live.syx");
        query->soundMatches(130, nullptr);
    }
    return 0;
}
