#pragma once

#include "A3AllDataSource.h"
#include "BankWalk.h"
#include "Result.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace a3::library {

// The time a received bank's name gives (receivedBankName's, read back in
// local time) and its attempt number, 1 for a name without one; nothing for
// a name of any other form.
struct NamedArrival
{
    std::chrono::system_clock::time_point time;
    int attempt = 1;
};
std::optional<NamedArrival> arrivalFromName(std::string_view fileName);

// One file of the Received folder.
struct ReceivedFile
{
    std::filesystem::path path;
    // From its name where the name is one the app gives, else the file's
    // modification time (a file renamed or copied in by hand).
    std::chrono::system_clock::time_point arrived;
    bool arrivalFromName = false;
    int attempt = 1; // orders the banks of one second
    FileIdentity identity;
    std::shared_ptr<const A3AllDataSource> bank; // none when the file holds no bank
    std::string problem;                         // why it holds none
};

// Every file kept in the Received folder, newest first: the banks the device
// sent, and the files there that are not banks, each with why (a damaged
// file belongs to the history too). Hidden files and folders are not
// listed. Files found in earlier with the same identity are taken from it
// unread. Nothing for a folder that does not exist yet; the system's reason
// when it cannot be read.
Result<std::vector<ReceivedFile>> readDeviceHistory(const std::filesystem::path& folder,
                                                    std::span<const ReceivedFile> earlier = {});

// The index of the bank received last before files[index], files being
// newest first; nothing for the first bank (or when none is older).
std::optional<std::size_t> bankBefore(std::span<const ReceivedFile> files, std::size_t index);

struct PatchChange
{
    enum class Kind
    {
        Renamed,   // the name alone: the same sound
        Sound,     // the patch's own bytes apart from its name
        ChainData, // its own bytes the same, but it plays chain data that changed
    };
    int number = 0; // 1 to 100
    std::string nameBefore;
    std::string nameAfter; // as patchName() gives them
    Kind kind = Kind::Renamed;
};

struct BankChanges
{
    std::uint16_t chainIdBefore = 0;
    std::uint16_t chainIdAfter = 0;
    bool chainDataDiffers = false;
    std::vector<PatchChange> patches; // in patch order
    bool identical() const { return !chainDataDiffers && patches.empty(); }
};

// What changed from one bank to another, patch by patch. A patch whose chain
// byte is 128 or more plays its bank's chain data, so it changes with it.
BankChanges changesBetween(const A3AllDataSource& before, const A3AllDataSource& after);

} // namespace a3::library
