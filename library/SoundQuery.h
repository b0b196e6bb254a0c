#pragma once

#include "Result.h"
#include "SoundData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace a3::library {

// A search as the user types it: words that the name holds, and filters on
// what the user said about the sound, in any order, all of which a patch
// must pass:
//   hall                 the name holds "hall", in any case ("big hall" in
//                        double quotes for words with a space)
//   fav, fav:yes         a favourite; fav:no, fav:undecided
//   rating>=N, rating<=N, rating=N   N from 1 to 5; rating:none
//   tag:T, -tag:T        has tag T (in any case), has not
//   chain:C*             the chain as the table shows it (05, C12), * for
//                        any characters
//   bank:TEXT            the bank file's path holds TEXT, in any case
//   note:TEXT            the note holds TEXT, in any case
class SoundQuery
{
public:
    // The query text means, or why it cannot be read ("rating>= takes 1 to
    // 5, not '9'").
    static Result<SoundQuery> parse(std::string_view text);

    // A patch passes when all three pass. The name is in lower case, as the
    // catalog keeps names for searching.
    // Inline, as a search asks it of every name of the catalog.
    bool nameMatches(std::string_view lowerName) const
    {
        for (const std::string& word : _words) {
            if (lowerName.find(word) == std::string_view::npos) {
                return false;
            }
        }
        return true;
    }
    bool bankMatches(std::string_view bankPath) const;
    // chain is the patch's chain byte; data, what the user said of its
    // sound, or none.
    bool soundMatches(std::int32_t chain, const SoundData* data) const;
    // Whether anything is asked of the sound, so that its data is needed.
    bool asksOfSounds() const;

private:
    std::vector<std::string> _words; // lower case
    std::optional<Favourite> _favourite;
    std::optional<int> _lowestRating;
    std::optional<int> _highestRating;
    bool _unrated = false;
    std::vector<std::string> _tags;
    std::vector<std::string> _withoutTags;
    std::vector<std::string> _chainPatterns; // lower case
    std::vector<std::string> _bankTexts;     // lower case
    std::vector<std::string> _noteTexts;     // lower case
};

} // namespace a3::library
