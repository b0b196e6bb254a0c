#pragma once

#include "A3AllData.h"
#include "DumpsInFile.h"
#include "UpdateProgress.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct stat;

namespace a3::library {

// What tells one version of a file from another without reading it.
struct FileIdentity
{
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of a file as stat() found it.
FileIdentity identityOf(const struct stat& status);

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

// The files under some folders that may hold banks, and what could not be
// walked: those of the one length an All-Data file has, whatever their names,
// and those whose names end as MIDI files, captures, hex text and archives do
// (.syx .mid .midi .smf .rmi .txt .zip .lha .lzh .tar .tgz .gz .7z, in any
// case), whatever their lengths. Other files cost no more than their stat.
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

// The part of an All-Data dump that a library keeps.
struct BankSummary
{
    std::uint16_t chainChecksum = 0;
    bool hasDefects = false; // stored checksums or other tolerated defects
    std::array<std::uint8_t, kBankPatchBytes> patches{};
};

// A bank that a file holds.
struct FileBank
{
    // Where in the file its dump is; none for a file that is itself the bank,
    // as the device sends it and the app saves it.
    std::optional<DumpPlace> place;
    BankSummary summary;
};

// The banks of a file in its order (none when it holds none), or why it
// could not be read: the system's reason, or that it changed during every
// read.
using BanksRead = Result<std::vector<FileBank>>;

// The banks stored in a file as it is from start to end of one read: a file
// that changes while it is read is read again, a few times at most. A file
// of an All-Data file's length that is one is read as the bank itself;
// others are searched for dumps (dumpsInBytes()) when their names say they
// may hold some, or when anyName. Files over kLargestFileScanned and those
// that are not regular files are not read, and hold none. identity is the
// file as last seen.
BanksRead readBanks(const std::filesystem::path& path, FileIdentity& identity,
                    bool anyName = false);

} // namespace a3::library
