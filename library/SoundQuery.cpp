#include "SoundQuery.h"

#include "PatchText.h"

#include <algorithm>

namespace a3::library {
namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view text)
{
    std::string lowered(text);
    std::ranges::transform(lowered, lowered.begin(), lowerAscii);
    return lowered;
}

// A plain loop, as a search runs it on every name of the catalog: quicker
// than std::search with a predicate.
bool holds(std::string_view text, std::string_view lowerPart)
{
    if (lowerPart.size() > text.size()) {
        return false;
    }
    const std::size_t last = text.size() - lowerPart.size();
    for (std::size_t at = 0; at <= last; ++at) {
        std::size_t k = 0;
        while (k < lowerPart.size() && lowerAscii(text[at + k]) == lowerPart[k]) {
            ++k;
        }
        if (k == lowerPart.size()) {
            return true;
        }
    }
    return false;
}

// Whether text matches pattern, in which '*' stands for any characters.
bool globMatches(std::string_view text, std::string_view pattern)
{
    std::size_t t = 0, p = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == lowerAscii(text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

// The query's terms: runs of characters between spaces, a run in double
// quotes taken whole (the quotes dropped), such as a filter's value.
std::vector<std::string> terms(std::string_view text)
{
    std::vector<std::string> found;
    std::string term;
    bool quoted = false, inTerm = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inTerm = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inTerm) {
                found.push_back(std::exchange(term, {}));
            }
            inTerm = false;
        } else {
            term += c;
            inTerm = true;
        }
    }
    if (inTerm) {
        found.push_back(term);
    }
    return found;
}

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

} // namespace

Result<SoundQuery> SoundQuery::parse(std::string_view text)
{
    SoundQuery query;
    for (const std::string& term : terms(text)) {
        const auto value = [&](std::string_view prefix) -> std::optional<std::string_view> {
            if (term.size() >= prefix.size() &&
                std::ranges::equal(std::string_view(term).substr(0, prefix.size()), prefix, {},
                                   lowerAscii)) {
                return std::string_view(term).substr(prefix.size());
            }
            return std::nullopt;
        };
        const auto rating = [&](std::string_view prefix, std::string_view given) -> Result<int> {
            if (given.size() != 1 || given[0] < '1' || given[0] > '5') {
                return Failure{std::string(prefix) + " takes 1 to 5, not " + quoted(given)};
            }
            return given[0] - '0';
        };
        if (const std::string lowered = lower(term); lowered == "fav") {
            query._favourite = Favourite::Yes;
        } else if (const auto favourite = value("fav:")) {
            query._favourite = favouriteFromText(lower(*favourite));
            if (!query._favourite) {
                return Failure{"fav: takes yes, no or undecided, not " + quoted(*favourite)};
            }
        } else if (lowered == "rating:none") {
            query._unrated = true;
        } else if (const auto atLeast = value("rating>=")) {
            const Result<int> given = rating("rating>=", *atLeast);
            if (!given.ok()) {
                return given.failure();
            }
            query._lowestRating = std::max(query._lowestRating.value_or(1), *given);
        } else if (const auto atMost = value("rating<=")) {
            const Result<int> given = rating("rating<=", *atMost);
            if (!given.ok()) {
                return given.failure();
            }
            query._highestRating = std::min(query._highestRating.value_or(5), *given);
        } else if (const auto exactly = value("rating=")) {
            const Result<int> given = rating("rating=", *exactly);
            if (!given.ok()) {
                return given.failure();
            }
            query._lowestRating = std::max(query._lowestRating.value_or(1), *given);
            query._highestRating = std::min(query._highestRating.value_or(5), *given);
        } else if (const auto tag = value("tag:")) {
            if (Outcome checked = checkTag(*tag); !checked.ok()) {
                return Failure{"tag: " + checked.failure().reason + ", not " + quoted(*tag)};
            }
            query._tags.emplace_back(*tag);
        } else if (const auto without = value("-tag:")) {
            if (Outcome checked = checkTag(*without); !checked.ok()) {
                return Failure{"-tag: " + checked.failure().reason + ", not " + quoted(*without)};
            }
            query._withoutTags.emplace_back(*without);
        } else if (const auto chain = value("chain:")) {
            query._chainPatterns.push_back(lower(*chain));
        } else if (const auto bank = value("bank:")) {
            query._bankTexts.push_back(lower(*bank));
        } else if (const auto note = value("note:")) {
            query._noteTexts.push_back(lower(*note));
        } else {
            query._words.push_back(lowered);
        }
    }
    return query;
}

bool SoundQuery::bankMatches(std::string_view bankPath) const
{
    return std::ranges::all_of(_bankTexts,
                               [&](const std::string& text) { return holds(bankPath, text); });
}

bool SoundQuery::asksOfSounds() const
{
    return _favourite || _lowestRating || _highestRating || _unrated || !_tags.empty() ||
           !_withoutTags.empty() || !_chainPatterns.empty() || !_noteTexts.empty();
}

bool SoundQuery::soundMatches(std::int32_t chain, const SoundData* given) const
{
    static const SoundData kNothingSaid;
    const SoundData& data = given ? *given : kNothingSaid;
    if (_favourite && data.favourite != *_favourite) {
        return false;
    }
    if (_unrated && data.rating != kNoRating) {
        return false;
    }
    if ((_lowestRating || _highestRating) &&
        (data.rating == kNoRating || data.rating < _lowestRating.value_or(1) ||
         data.rating > _highestRating.value_or(kHighestRating))) {
        return false;
    }
    if (!std::ranges::all_of(_tags, [&](const std::string& tag) { return data.hasTag(tag); }) ||
        std::ranges::any_of(_withoutTags,
                            [&](const std::string& tag) { return data.hasTag(tag); })) {
        return false;
    }
    if (!_chainPatterns.empty()) {
        const std::string shown = chainText(chain);
        if (!std::ranges::all_of(_chainPatterns, [&](const std::string& pattern) {
                return globMatches(shown, pattern);
            })) {
            return false;
        }
    }
    return std::ranges::all_of(_noteTexts,
                               [&](const std::string& text) { return holds(data.note, text); });
}

} // namespace a3::library
