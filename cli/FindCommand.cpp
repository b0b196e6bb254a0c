#include "FindCommand.h"

#include "BankWalk.h"
#include "LibraryPlaces.h"
#include "PatchCatalog.h"
#include "PatchText.h"
#include "SoundCommands.h"
#include "SoundQuery.h"
#include "Terminal.h"

#include <algorithm>
#include <iostream>

namespace a3::cli {
namespace {

using library::PatchCatalog;

// The folders searched: those given, else the library's.
std::vector<std::filesystem::path> searchedFolders(const Arguments& arguments)
{
    std::vector<std::filesystem::path> folders;
    for (const Value& folder : arguments.all("DIR")) {
        folders.emplace_back(folder.text);
    }
    if (folders.empty()) {
        folders = library::LibraryPlaces::forCurrentUser().searchedFolders();
    }
    return folders;
}

void printPatch(const PatchCatalog& catalog, PatchCatalog::PatchId patch)
{
    const library::CatalogBank& bank = catalog.bank(patch);
    const std::string file = givenName(bank.path);
    std::cout << (bank.place ? placeText(file, *bank.place) : file) << '\t'
              << catalog.row(patch) + 1 << '\t' << printablePatchName(catalog.name(patch)) << '\n';
}

} // namespace

int findCommand(const Arguments& arguments)
{
    const std::string& text = arguments.one("TEXT").text;
    std::optional<std::pair<std::filesystem::path, std::int64_t>> reference;
    std::optional<library::SoundQuery> query;
    if (arguments.has("--same")) {
        reference = soundReference(text);
        if (!reference) {
            return usageError("find: --same needs FILE:NUMBER (1 to 100), not " + quotedText(text));
        }
    } else {
        Result<library::SoundQuery> parsed = library::SoundQuery::parse(text);
        if (!parsed.ok()) {
            return usageError("find: " + parsed.failure().reason);
        }
        query = *parsed;
    }
    // What the user said of their sounds, read before the long walk, so that
    // a failure to read it costs no wait.
    const Result<library::SoundsSnapshot> sounds =
        query && query->asksOfSounds() ? usersSounds() : library::SoundsSnapshot();
    if (!sounds.ok()) {
        std::cerr << "a3bank: find: " << sounds.failure().reason << '\n';
        return kCannotCompare;
    }

    const std::vector<std::filesystem::path> folders = searchedFolders(arguments);
    // Another user, sudo or a sandbox sees no library of the user's: say so
    // rather than find nothing.
    if (folders.empty()) {
        std::cerr << "a3bank: find: no library folders are set: give a DIR, or add a folder in "
                     "A3 Librarian's Library window (Library > Add Folder...)\n";
        return kCannotCompare;
    }
    library::WalkResult walk = library::findBankFiles(folders);
    int status = kSuccess;
    for (const auto& folder : walk.unreadableFolders) {
        std::cerr << "a3bank: " << givenName(folder.path) << ": " << folder.reason << '\n';
        status = kCannotCompare;
    }
    // The FILE of --same is searched too, unless a folder holds it already;
    // read whatever its name, as the user named it.
    library::FileIdentity referenceIdentity;
    if (reference) {
        const library::BanksRead read =
            library::readBanks(reference->first, referenceIdentity, true);
        if (!read.ok() || read->size() != 1) {
            refuse(reference->first, whyNoBank(read, "--same"));
            return kCannotCompare;
        }
        if (std::ranges::none_of(walk.files, [&](const library::FoundFile& found) {
                return found.identity == referenceIdentity;
            })) {
            walk.files.push_back({reference->first, referenceIdentity});
        }
    }
    std::ranges::sort(walk.files, {}, [](const library::FoundFile& found) -> const std::string& {
        return found.path.native();
    });

    PatchCatalog catalog;
    std::optional<PatchCatalog::PatchId> referencePatch;
    for (library::FoundFile& found : walk.files) {
        const bool isReference = reference && found.identity == referenceIdentity;
        library::BanksRead read = library::readBanks(found.path, found.identity, isReference);
        if (!read.ok()) {
            refuse(found.path, whyNoBank(read, "--same"));
            status = kCannotCompare;
            continue;
        }
        if (isReference && found.identity == referenceIdentity && read->size() == 1) {
            referencePatch = static_cast<PatchCatalog::PatchId>(
                catalog.bankCount() * kPatchCount + static_cast<std::size_t>(reference->second));
        }
        for (library::FileBank& bank : *read) {
            catalog.addBank({found.path.native(), bank.summary.chainChecksum,
                             bank.summary.hasDefects, std::move(bank.place)},
                            bank.summary.patches);
        }
    }

    catalog.finish();
    std::vector<PatchCatalog::PatchId> found;
    if (referencePatch) {
        const auto same = catalog.sameSound(*referencePatch);
        found.assign(same.begin(), same.end());
    } else if (query) {
        found = catalog.search(*query, *sounds, false);
    }
    for (const PatchCatalog::PatchId patch : found) {
        printPatch(catalog, patch);
    }
    return status != kSuccess ? status : found.empty() ? kRefused : kSuccess;
}

} // namespace a3::cli
