#pragma once

#include "A3AllData.h"
#include "UpdateProgress.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace a3::library {

// What tells one version of a file from another without reading it.
struct FileIdentity
{
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FoundFile
{
    std::filesystem::path path;
    FileIdentity identity;
    friend bool operator==(const FoundFile&, const FoundFile&) = default;
};

struct UnreadableFolder
{
    std::filesystem::path path;
    std::string reason; // the system's: "Permission denied"
};

// The files under some folders that may be All-Data files (those of the one
// length an All-Data file has), and what could not be walked.
struct WalkResult
{
    std::vector<FoundFile> files; // in the order found
    std::vector<UnreadableFolder> unreadableFolders;
    int loopsSkipped = 0; // folders reached again through a symbolic link
    bool cancelled = false;
};

// Walks every folder recursively, following symbolic links, each folder at
// most once (so a link back up the tree ends there). A folder that cannot be
// read (or is missing) is listed and passed over. Tells progress of each
// folder it walks, and stops at its cancel.
WalkResult findBankFiles(std::span<const std::filesystem::path> folders,
                         UpdateProgress* progress = nullptr);

inline constexpr std::size_t kBankPatchBytes = kPatchCount * kPatchSize;

// The part of an All-Data file that a library keeps.
struct BankSummary
{
    std::uint16_t chainChecksum = 0;
    bool hasDefects = false; // stored checksums or other tolerated defects
    std::array<std::uint8_t, kBankPatchBytes> patches{};
};

struct BankRead
{
    enum class Outcome
    {
        Bank,
        NotABank,   // not an All-Data file
        Unreadable, // could not be opened or read
        Unsettled,  // changed during every read
    };
    Outcome outcome = Outcome::Unreadable;
    std::optional<BankSummary> bank; // for a Bank
    std::string reason;              // for an Unreadable file: the system's
};

// The bank stored in an All-Data file as it is from start to end of one
// read: a file that changes while it is read is read again, a few times at
// most. identity is the file as last seen.
BankRead readBank(const std::filesystem::path& path, FileIdentity& identity);

} // namespace a3::library
