#include "SoundCommands.h"

#include "AtomicFile.h"
#include "FileReader.h"
#include "LibraryPlaces.h"
#include "SoundsDatabase.h"
#include "SoundsFile.h"
#include "Terminal.h"

#include <charconv>
#include <iostream>
#include <memory>

namespace a3::cli {
namespace {

using library::SoundsDatabase;

// A sounds file holds some 300 bytes a sound: room for millions.
constexpr std::uintmax_t kLargestSoundsFile = 1024ull * 1024 * 1024;

// The user's database, opened (made when there is none); a damaged one is
// moved aside, and the user told where.
Result<std::unique_ptr<SoundsDatabase>> openUsersDatabase()
{
    auto opened = SoundsDatabase::open(library::LibraryPlaces::forCurrentUser().soundsFile());
    if (opened.ok() && (*opened)->movedAside()) {
        const library::MovedAside& aside = *(*opened)->movedAside();
        std::cerr << "a3bank: the sounds database was damaged (" << aside.why
                  << "): it was moved to " << givenName(aside.to) << " and a new one started\n";
    }
    if (opened.ok() && (*opened)->copiedBeforeUpgrade()) {
        std::cerr << "a3bank: the sounds database was upgraded; a copy of it as it was is kept as "
                  << givenName(*(*opened)->copiedBeforeUpgrade()) << '\n';
    }
    return opened;
}

int sayFailure(const std::string& reason)
{
    std::cerr << "a3bank: " << reason << '\n';
    return kRefused;
}

// The sound of patch NUMBER of a file of one bank.
Result<library::Sound> soundAt(const std::filesystem::path& file, std::int64_t row)
{
    library::FileIdentity identity;
    const library::BanksRead read = library::readBanks(file, identity, true);
    if (!read.ok() || read->size() != 1) {
        return Failure{whyNoBank(read, "tag")};
    }
    const library::BankSummary& bank = read->front().summary;
    library::Sound sound;
    const auto first = bank.patches.begin() + row * static_cast<std::int64_t>(kPatchSize);
    std::copy(first, first + kPatchSize, sound.patch.begin());
    sound.chainId = bank.chainChecksum;
    return sound;
}

// The change the options ask for, or the usage error's message.
Result<library::SoundChange> askedChange(const Arguments& arguments)
{
    library::SoundChange change;
    if (arguments.has("--fav")) {
        change.favourite = library::favouriteFromText(arguments.one("--fav").text);
        if (!change.favourite) {
            return Failure{"tag: --fav must be yes, no or undecided, not " +
                           quotedText(arguments.one("--fav").text)};
        }
    }
    if (arguments.has("--rating")) {
        const std::string& text = arguments.one("--rating").text;
        if (text == "none") {
            change.rating = library::kNoRating;
        } else if (text.size() == 1 && text[0] >= '1' && text[0] <= '5') {
            change.rating = text[0] - '0';
        } else {
            return Failure{"tag: --rating must be 1 to 5 or none, not " + quotedText(text)};
        }
    }
    for (const Value& tag : arguments.all("--add")) {
        change.addTags.push_back(tag.text);
    }
    for (const Value& tag : arguments.all("--remove")) {
        change.removeTags.push_back(tag.text);
    }
    if (arguments.has("--note")) {
        change.note = arguments.one("--note").text;
    }
    if (!change.favourite && !change.rating && change.addTags.empty() &&
        change.removeTags.empty() && !change.note) {
        return Failure{"tag: nothing to set: give --fav, --rating, --add, --remove or --note"};
    }
    if (Outcome checked = library::checkChange(change); !checked.ok()) {
        return Failure{"tag: " + checked.failure().reason};
    }
    return change;
}

int exportSounds(const Arguments& arguments)
{
    auto database = openUsersDatabase();
    if (!database.ok()) {
        return sayFailure(database.failure().reason);
    }
    const auto content = (*database)->content();
    if (!content.ok()) {
        return sayFailure(content.failure().reason);
    }
    const std::string text = library::soundsFileText(*content);
    if (!arguments.has("-o")) {
        std::cout << text;
        return kSuccess;
    }
    const std::filesystem::path out = arguments.one("-o").text;
    const WriteResult written = writeFileAtomically(
        out, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!written.ok()) {
        return refuse(out, written.failure().reason);
    }
    return kSuccess;
}

int importSounds(const std::filesystem::path& file)
{
    const FileRead read = readFileBounded(file, kLargestSoundsFile);
    if (!read.ok()) {
        return refuse(file, read.failure().reason);
    }
    const auto content = library::soundsFromFileText(
        std::string_view(reinterpret_cast<const char*>(read->data()), read->size()));
    if (!content.ok()) {
        return refuse(file, content.failure().reason);
    }
    auto database = openUsersDatabase();
    if (!database.ok()) {
        return sayFailure(database.failure().reason);
    }
    const auto merged = (*database)->merge(*content);
    if (!merged.ok()) {
        return sayFailure(merged.failure().reason);
    }
    std::cout << givenName(file) << ": " << merged->soundsGiven
              << " sounds merged: " << merged->soundsNew << " new, " << merged->decisionsTaken
              << " favourites, ratings and notes decided later there taken, " << merged->tagsAdded
              << " tags added (a tag removed here comes back); " << merged->setsNew << " sets new, "
              << merged->setEntriesAdded << " sounds added to sets, " << merged->smartListsNew
              << " smart lists new\n";
    return kSuccess;
}

} // namespace

std::optional<std::pair<std::filesystem::path, std::int64_t>> soundReference(std::string_view text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    const std::string_view digits = text.substr(colon + 1);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number < 1 ||
        number > static_cast<std::int64_t>(kPatchCount)) {
        return std::nullopt;
    }
    return std::pair{std::filesystem::path(text.substr(0, colon)), number - 1};
}

std::string whyNoBank(const library::BanksRead& read, std::string_view what)
{
    if (!read.ok()) {
        return read.failure().reason;
    }
    return read->empty() ? "holds no All-Data dump"
                         : "holds " + std::to_string(read->size()) + " All-Data dumps; " +
                               std::string(what) + " takes a file of one";
}

Result<library::SoundsSnapshot> usersSounds()
{
    std::error_code error;
    if (!std::filesystem::exists(library::LibraryPlaces::forCurrentUser().soundsFile(), error)) {
        return library::SoundsSnapshot();
    }
    auto database = openUsersDatabase();
    if (!database.ok()) {
        return database.failure();
    }
    return (*database)->snapshot();
}

int tagCommand(const Arguments& arguments)
{
    const Result<library::SoundChange> change = askedChange(arguments);
    if (!change.ok()) {
        return usageError(change.failure().reason);
    }
    std::vector<library::Sound> sounds;
    for (const Value& given : arguments.all("FILE:NUMBER")) {
        const auto reference = soundReference(given.text);
        if (!reference) {
            return usageError("tag: FILE:NUMBER (1 to 100) expected, not " +
                              quotedText(given.text));
        }
        Result<library::Sound> sound = soundAt(reference->first, reference->second);
        if (!sound.ok()) {
            return refuse(reference->first, sound.failure().reason);
        }
        sounds.push_back(*sound);
    }
    auto database = openUsersDatabase();
    if (!database.ok()) {
        return sayFailure(database.failure().reason);
    }
    const auto changed = (*database)->change(sounds, *change, library::setTimeNow());
    return changed.ok() ? kSuccess : sayFailure(changed.failure().reason);
}

int soundsCommand(const Arguments& arguments)
{
    const std::string& action = arguments.one("export|import").text;
    const auto files = arguments.all("FILE");
    if (action == "export" && files.empty()) {
        return exportSounds(arguments);
    }
    if (action == "import" && files.size() == 1 && !arguments.has("-o")) {
        return importSounds(files.front().text);
    }
    return usageError("sounds: expected \"export [-o OUTFILE]\" or \"import FILE\"");
}

} // namespace a3::cli
