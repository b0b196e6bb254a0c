#pragma once

#include "AtomicFile.h"

#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace a3::library {

// Where the library keeps what it has, by the XDG base directories, as Qt
// names them for the app (its AppDataLocation, CacheLocation and config
// folder), so that the app and a3bank share them without Qt.
class LibraryPlaces
{
public:
    // The current user's, from XDG_CONFIG_HOME, XDG_DATA_HOME and
    // XDG_CACHE_HOME, or their defaults under HOME.
    static LibraryPlaces forCurrentUser();

    // Banks received from the device, one file each, never replaced.
    std::filesystem::path receivedFolder() const;
    std::filesystem::path indexFile() const;
    // What the user said about their sounds: user data, beside the received
    // banks, never in the cache.
    std::filesystem::path soundsFile() const;

    // The folders the user has added, in the order added.
    std::vector<std::filesystem::path> libraryFolders() const;
    WriteResult setLibraryFolders(std::span<const std::filesystem::path> folders) const;
    // The library folders and, once a bank was received, the received
    // banks' folder: all that is searched.
    std::vector<std::filesystem::path> searchedFolders() const;

private:
    std::filesystem::path _config;
    std::filesystem::path _data;
    std::filesystem::path _cache;
};

// The name a bank received at time gets: "2026-12-07 14.03.22.syx" in local
// time, then " 2", " 3" ... before ".syx" for the second and later name
// asked for in one second.
std::string receivedBankName(std::chrono::system_clock::time_point time, int attempt);

// Writes a bank as the device sent it into folder (made when missing) under
// a name of its own, never over an existing file, and syncs the file and then
// the folder: the bank may be the only copy of what the device held.
Result<NewFile> keepReceivedBank(const std::filesystem::path& folder,
                                 std::span<const std::uint8_t> dump,
                                 std::chrono::system_clock::time_point time);

} // namespace a3::library
