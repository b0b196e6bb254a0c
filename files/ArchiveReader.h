#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace a3 {

// What holds the members: an archive format, or one compressed file.
enum class ArchiveFormat
{
    None, // not an archive
    Zip,
    SevenZip,
    Tar,
    Lha,
    SingleFile, // a compressed file on its own, such as bank.syx.gz
};

enum class ArchiveCompression
{
    None,
    Gzip,
    Bzip2,
    Xz,
};

struct ArchiveKind
{
    ArchiveFormat format = ArchiveFormat::None;
    ArchiveCompression compression = ArchiveCompression::None; // of the whole archive

    bool isArchive() const { return format != ArchiveFormat::None; }
    friend bool operator==(const ArchiveKind&, const ArchiveKind&) = default;
};

// "a zip archive", "a gzip-compressed tar archive", "a gzip-compressed file";
// "not an archive" for None.
std::string describeArchiveKind(ArchiveKind kind);

// What an archive may cost before its members are passed over or the walk
// ends. Archives come from anywhere, and a few kilobytes can expand to
// terabytes or hold millions of members.
struct ArchiveLimits
{
    std::uint64_t memberSize = std::uint64_t{64} << 20; // bytes of one member
    std::size_t members = 100'000;                      // members of any kind, at any depth
    std::uint64_t expansion = 1000; // bytes expanded, at all depths, per byte of the input
    // and in all, whatever the input's size: a large archive within the ratio
    // would still take minutes to expand
    std::uint64_t expanded = std::uint64_t{1} << 30;
    int depth = 1; // levels of archives inside the input that are opened
};

// Why a member was passed over; every one passed over is counted under one.
enum class PassedOver
{
    TooLarge,  // over the member size, by its header or by the bytes that came
    TooMany,   // after the member limit was reached
    Expansion, // being read when the expansion limit was reached
    Encrypted,
    TooDeep, // an archive inside archives already as deep as the limit
    Damaged, // its bytes could not be read in full, or an archive in it ended early
    Count_
};

// Why a walk ended before the end of the input.
enum class ArchiveStop
{
    None,
    TooMany,   // the member limit: the members after it are counted, not read
    Expansion, // the expansion limit
    Damaged,   // the input's archive could not be read on; see problem
    Visitor,   // the visitor asked to stop
};

struct ArchiveMember
{
    // The names as stored, from the input's member inwards: {"bank.syx"},
    // or {"inner.tgz", "bank.syx"} for a member of an archive inside. A name
    // is UTF-8 where the archive says so or libarchive can convert it, its
    // bytes as stored otherwise, and empty where none is stored (a
    // compressed file without its name). Shown to a person only: nothing is
    // written under these names.
    std::span<const std::string> path;
    std::span<const std::uint8_t> bytes; // valid during the visitor's call only
};

// Returns false to end the walk.
using ArchiveVisitor = std::function<bool(const ArchiveMember&)>;

struct ArchiveWalk
{
    ArchiveKind kind;               // of the input; None when it is not an archive
    ArchiveLimits limits;           // those the walk kept to
    std::size_t files = 0;          // members handed to the visitor
    std::size_t archivesInside = 0; // members opened as archives
    std::array<std::size_t, static_cast<std::size_t>(PassedOver::Count_)> passedOver{};
    ArchiveStop stop = ArchiveStop::None;
    // libarchive's words for the damage that stopped the walk, or else for
    // the first damage met inside it.
    std::string problem;

    std::size_t passedOverFor(PassedOver reason) const
    {
        return passedOver[static_cast<std::size_t>(reason)];
    }
    std::size_t passedOverTotal() const;
};

// What kind of archive the bytes are, from their first header. Plain files
// (a dump, a MIDI file, text) are not archives, and neither is a run of zero
// bytes, which the tar format would take for an empty archive.
ArchiveKind archiveKind(std::span<const std::uint8_t> bytes);

// Hands each regular member of the archive to the visitor, one at a time and
// in the archive's order, opening archives inside it to the limits' depth.
// Directories, links and other entries that are not regular files are
// skipped without being counted. Damage ends the walk with what was read so
// far. Exceptions thrown by the visitor reach the caller; nothing else
// throws but a failed allocation.
ArchiveWalk visitArchive(std::span<const std::uint8_t> bytes, const ArchiveVisitor& visit,
                         const ArchiveLimits& limits = {});

// "a zip archive with 12 files", with what was passed over and why the walk
// stopped when it did, for a message to a person.
std::string describeArchiveWalk(const ArchiveWalk& walk);

// The path's names joined for a person: "inner.tgz › bank.syx".
std::string joinArchivePath(std::span<const std::string> path);

} // namespace a3
