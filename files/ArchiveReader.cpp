#include "ArchiveReader.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace a3 {
namespace {

// libarchive reads from memory here, so it calls none of our code: nothing
// thrown can cross its C frames.
struct ArchiveFree
{
    void operator()(archive* handle) const { archive_read_free(handle); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveFree>;

// The formats and compressions a bank is kept in. Others stay off: each is
// code that would read untrusted bytes for nothing, and some (mtree, raw)
// take plain text or anything at all for an archive.
enum class Formats
{
    Archives,
    OneFile, // raw: the whole stream is one member
};

ArchiveHandle newReader(Formats formats)
{
    ArchiveHandle handle(archive_read_new());
    if (!handle) {
        throw std::bad_alloc();
    }
    archive* a = handle.get();
    if (formats == Formats::OneFile) {
        archive_read_support_format_raw(a);
    } else {
        archive_read_support_format_zip(a);
        archive_read_support_format_7zip(a);
        archive_read_support_format_tar(a);
        archive_read_support_format_lha(a);
    }
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    return handle;
}

ArchiveFormat formatOf(int code)
{
    switch (code & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_ZIP:
        return ArchiveFormat::Zip;
    case ARCHIVE_FORMAT_7ZIP:
        return ArchiveFormat::SevenZip;
    case ARCHIVE_FORMAT_TAR:
        return ArchiveFormat::Tar;
    case ARCHIVE_FORMAT_LHA:
        return ArchiveFormat::Lha;
    case ARCHIVE_FORMAT_RAW:
        return ArchiveFormat::SingleFile;
    default:
        return ArchiveFormat::None;
    }
}

// The decompression nearest the format: the one the archive was made with.
ArchiveCompression compressionOf(archive* a)
{
    switch (archive_filter_code(a, 0)) {
    case ARCHIVE_FILTER_GZIP:
        return ArchiveCompression::Gzip;
    case ARCHIVE_FILTER_BZIP2:
        return ArchiveCompression::Bzip2;
    case ARCHIVE_FILTER_XZ:
        return ArchiveCompression::Xz;
    default:
        return ArchiveCompression::None;
    }
}

// libarchive names the format when it reads a header; when the first one
// fails, the format that takes the bytes on its own is the one chosen.
ArchiveFormat formatByBid(std::span<const std::uint8_t> bytes)
{
    using Support = int (*)(archive*);
    const std::pair<Support, ArchiveFormat> formats[] = {
        {archive_read_support_format_zip, ArchiveFormat::Zip},
        {archive_read_support_format_7zip, ArchiveFormat::SevenZip},
        {archive_read_support_format_tar, ArchiveFormat::Tar},
        {archive_read_support_format_lha, ArchiveFormat::Lha},
    };
    for (const auto& [support, format] : formats) {
        ArchiveHandle handle(archive_read_new());
        if (!handle) {
            throw std::bad_alloc();
        }
        support(handle.get());
        archive_read_support_filter_gzip(handle.get());
        archive_read_support_filter_bzip2(handle.get());
        archive_read_support_filter_xz(handle.get());
        if (archive_read_open_memory(handle.get(), bytes.data(), bytes.size()) == ARCHIVE_OK) {
            return format;
        }
    }
    return ArchiveFormat::None;
}

// The compression a stream starts with, by the signatures libarchive bids on.
ArchiveCompression compressionBySignature(std::span<const std::uint8_t> bytes)
{
    const auto startsWith = [&](std::initializer_list<std::uint8_t> signature) {
        return bytes.size() >= signature.size() &&
               std::equal(signature.begin(), signature.end(), bytes.begin());
    };
    if (startsWith({0x1F, 0x8B})) {
        return ArchiveCompression::Gzip;
    }
    if (startsWith({'B', 'Z', 'h'})) {
        return ArchiveCompression::Bzip2;
    }
    if (startsWith({0xFD, '7', 'z', 'X', 'Z', 0x00})) {
        return ArchiveCompression::Xz;
    }
    return ArchiveCompression::None;
}

// An archive opened with its first header read, or that failed as it was
// opened (status ARCHIVE_FATAL, the reason in the handle).
struct OpenArchive
{
    ArchiveHandle handle;
    ArchiveKind kind;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_EOF; // of the first header
    // A gzip-compressed file names its member only when its header has a name.
    bool storesName = true;
};

bool gzipWithName(std::span<const std::uint8_t> bytes)
{
    constexpr std::uint8_t kNameFlag = 0x08;
    return bytes.size() > 3 && bytes[0] == 0x1F && bytes[1] == 0x8B && (bytes[3] & kNameFlag) != 0;
}

std::optional<OpenArchive> openArchive(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty()) {
        return std::nullopt;
    }
    for (const Formats formats : {Formats::Archives, Formats::OneFile}) {
        OpenArchive opened{newReader(formats), {}, nullptr, ARCHIVE_EOF, true};
        archive* a = opened.handle.get();
        if (archive_read_open_memory(a, bytes.data(), bytes.size()) != ARCHIVE_OK) {
            // The raw format takes any bytes, so only its compression can
            // fail, as the start of a stream cut short is expanded: damaged,
            // but an archive.
            const ArchiveCompression compression = compressionBySignature(bytes);
            if (formats == Formats::Archives || compression == ArchiveCompression::None) {
                continue;
            }
            opened.kind = {ArchiveFormat::SingleFile, compression};
            opened.status = ARCHIVE_FATAL;
            return opened;
        }
        opened.kind.compression = compressionOf(a);
        // The raw format takes any bytes: only a compressed stream makes
        // them a file of their own.
        if (formats == Formats::OneFile && opened.kind.compression == ArchiveCompression::None) {
            return std::nullopt;
        }
        opened.status = archive_read_next_header(a, &opened.entry);
        opened.kind.format =
            formats == Formats::OneFile ? ArchiveFormat::SingleFile : formatOf(archive_format(a));
        if (opened.kind.format == ArchiveFormat::None) {
            opened.kind.format = formatByBid(bytes);
        }
        // Zero blocks alone read as the end of an empty tar archive.
        if (!opened.kind.isArchive() ||
            (opened.kind.format == ArchiveFormat::Tar && opened.status == ARCHIVE_EOF)) {
            return std::nullopt;
        }
        opened.storesName = formats == Formats::Archives || gzipWithName(bytes);
        return opened;
    }
    return std::nullopt;
}

std::string entryName(archive_entry* entry)
{
    if (const char* name = archive_entry_pathname_utf8(entry)) {
        return name;
    }
    if (const char* name = archive_entry_pathname(entry)) {
        return name;
    }
    return {};
}

// How far the walk of one archive got.
enum class Ending
{
    Read,          // to its end
    DamagedHeader, // a header could not be read: nothing to count it on
    DamagedMember, // a member could not be read on; counted on that member
    WalkEnded,     // the whole walk ended
};

class Walker
{
public:
    Walker(std::uint64_t inputSize, const ArchiveVisitor& visit, ArchiveWalk& walk)
        : _visit(visit)
        , _walk(walk)
        , _limits(walk.limits)
        , _budget(std::min(budgetFor(inputSize, _limits.expansion), _limits.expanded))
        , _buffers(static_cast<std::size_t>(std::max(_limits.depth, 0)) + 1)
        , _scratch(kChunk)
    {}

    Ending walkArchive(OpenArchive& opened, int depth)
    {
        Level level{opened.handle.get(), opened.kind, opened.storesName};
        archive_entry* entry = opened.entry;
        int status = opened.status;
        for (;;) {
            if (status == ARCHIVE_EOF) {
                return Ending::Read;
            }
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
                noteDamage(level);
                return Ending::DamagedHeader;
            }
            if (!account(level)) {
                if (isRegular(entry)) {
                    passOver(PassedOver::Expansion);
                }
                end(ArchiveStop::Expansion);
                return Ending::WalkEnded;
            }
            if (isRegular(entry)) {
                if (const Ending ending = member(level, entry, depth); ending != Ending::Read) {
                    return ending;
                }
            } else {
                passData(level, entry);
            }
            if (_ended) {
                return Ending::WalkEnded;
            }
            status = archive_read_next_header(level.handle, &entry);
        }
    }

    void endDamaged(const OpenArchive& opened)
    {
        const char* error = archive_error_string(opened.handle.get());
        _walk.problem = error ? error : "unknown damage";
        end(ArchiveStop::Damaged);
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    // The most room a header's size is given before its bytes come: well over
    // any bank file or MIDI file of banks.
    static constexpr std::uint64_t kRoomTrusted = 1 << 20;

    struct Level
    {
        archive* handle;
        ArchiveKind kind;
        bool storesName;
        std::uint64_t read = 0;    // member bytes libarchive handed over
        std::uint64_t counted = 0; // what the level added to the expansion
    };

    enum class Read
    {
        Whole,
        TooLarge,
        OverBudget,
        Failed, // this member only
        Fatal,  // the archive cannot be read on
    };

    static std::uint64_t budgetFor(std::uint64_t inputSize, std::uint64_t expansion)
    {
        std::uint64_t budget = 0;
        return __builtin_mul_overflow(inputSize, expansion, &budget)
                   ? std::numeric_limits<std::uint64_t>::max()
                   : budget;
    }

    static bool isRegular(archive_entry* entry)
    {
        // A hard link names a member met before.
        return archive_entry_filetype(entry) == AE_IFREG && !archive_entry_hardlink(entry);
    }

    // A level expands by the member bytes read from it or by the stream its
    // compression gives the format, whichever is more: the stream counts the
    // headers and the data libarchive passes over itself.
    bool account(Level& level)
    {
        const la_int64_t stream = archive_filter_bytes(level.handle, 0);
        const std::uint64_t expanded =
            std::max(level.read, static_cast<std::uint64_t>(std::max<la_int64_t>(stream, 0)));
        const std::uint64_t grown = std::max(expanded, level.counted);
        _expanded += grown - level.counted;
        level.counted = grown;
        return _expanded <= _budget;
    }

    void passOver(PassedOver reason) { ++_walk.passedOver[static_cast<std::size_t>(reason)]; }

    void end(ArchiveStop reason)
    {
        if (_walk.stop == ArchiveStop::None) {
            _walk.stop = reason;
        }
        _ended = true;
    }

    void noteDamage(const Level& level)
    {
        if (_walk.problem.empty()) {
            const char* error = archive_error_string(level.handle);
            _walk.problem = error ? error : "unknown damage";
        }
    }

    // Passes over the rest of a member's data. libarchive skips it by its
    // compressed size where it can; where that means expanding it (a
    // compressed stream, 7z's blocks shared by members, a zip member whose
    // size follows its data) the bytes are read here, so that they count.
    void passData(Level& level, archive_entry* entry)
    {
        if (level.kind.compression == ArchiveCompression::None &&
            level.kind.format != ArchiveFormat::SevenZip && archive_entry_size_is_set(entry)) {
            archive_read_data_skip(level.handle); // a failure shows at the next header
            return;
        }
        for (;;) {
            const la_ssize_t count = archive_read_data(level.handle, _scratch.data(), kChunk);
            if (count <= 0) {
                return;
            }
            level.read += static_cast<std::uint64_t>(count);
            if (!account(level)) {
                end(ArchiveStop::Expansion);
                return;
            }
        }
    }

    // Reads a member whole into bytes, but never more than one byte over the
    // member size: a header's size may be anything. Room for the size a
    // header gives is made at once, so that a member of the size it says
    // takes one read into the buffer it needs, and no more is zeroed.
    Read readMember(Level& level, archive_entry* entry, std::vector<std::uint8_t>& bytes)
    {
        bytes.clear();
        const std::uint64_t most = std::max(_limits.memberSize, _limits.memberSize + 1);
        // Up to a bound, as the size may be a lie: a member larger than it
        // grows from there.
        if (archive_entry_size_is_set(entry)) {
            const auto stated = static_cast<std::uint64_t>(archive_entry_size(entry));
            bytes.reserve(static_cast<std::size_t>(std::min({stated + 1, most, kRoomTrusted})));
        }
        for (;;) {
            const std::size_t have = bytes.size();
            if (have > _limits.memberSize) {
                return Read::TooLarge;
            }
            // Into the room there is; once full, grown as a vector grows, but
            // never past the most it can hold.
            if (bytes.capacity() == have) {
                bytes.reserve(static_cast<std::size_t>(
                    std::min<std::uint64_t>(std::max(2 * bytes.capacity(), have + kChunk), most)));
            }
            const std::size_t wanted = std::min(bytes.capacity() - have, kChunk);
            bytes.resize(have + wanted);
            const la_ssize_t count = archive_read_data(level.handle, bytes.data() + have, wanted);
            if (count < 0) {
                return count == ARCHIVE_FATAL ? Read::Fatal : Read::Failed;
            }
            bytes.resize(have + static_cast<std::size_t>(count));
            level.read += static_cast<std::uint64_t>(count);
            if (!account(level)) {
                return Read::OverBudget;
            }
            if (count == 0) {
                return Read::Whole;
            }
        }
    }

    Ending member(Level& level, archive_entry* entry, int depth)
    {
        if (_seen >= _limits.members) {
            // Past the limit the rest are only counted.
            passOver(PassedOver::TooMany);
            if (_walk.stop == ArchiveStop::None) {
                _walk.stop = ArchiveStop::TooMany;
            }
            passData(level, entry);
            return Ending::Read;
        }
        ++_seen;
        if (archive_entry_is_data_encrypted(entry) > 0) {
            // Skipped by libarchive: what it cannot decrypt it cannot expand.
            passOver(PassedOver::Encrypted);
            archive_read_data_skip(level.handle);
            return Ending::Read;
        }
        if (archive_entry_size_is_set(entry) &&
            static_cast<std::uint64_t>(archive_entry_size(entry)) > _limits.memberSize) {
            passOver(PassedOver::TooLarge);
            passData(level, entry);
            return Ending::Read;
        }
        std::vector<std::uint8_t>& bytes = _buffers[static_cast<std::size_t>(depth)];
        switch (readMember(level, entry, bytes)) {
        case Read::Whole:
            break;
        case Read::TooLarge:
            passOver(PassedOver::TooLarge);
            passData(level, entry);
            return Ending::Read;
        case Read::OverBudget:
            passOver(PassedOver::Expansion);
            end(ArchiveStop::Expansion);
            return Ending::WalkEnded;
        case Read::Failed:
            passOver(PassedOver::Damaged);
            noteDamage(level);
            return Ending::Read;
        case Read::Fatal:
            passOver(PassedOver::Damaged);
            noteDamage(level);
            return Ending::DamagedMember;
        }
        _path.push_back(level.storesName ? entryName(entry) : std::string());
        if (std::optional<OpenArchive> inner = openArchive(bytes)) {
            if (depth < _limits.depth) {
                ++_walk.archivesInside;
                if (walkArchive(*inner, depth + 1) == Ending::DamagedHeader) {
                    passOver(PassedOver::Damaged);
                }
            } else {
                passOver(PassedOver::TooDeep);
            }
        } else {
            ++_walk.files;
            if (!_visit(ArchiveMember{_path, bytes})) {
                end(ArchiveStop::Visitor);
            }
        }
        _path.pop_back();
        return _ended ? Ending::WalkEnded : Ending::Read;
    }

    const ArchiveVisitor& _visit;
    ArchiveWalk& _walk;
    const ArchiveLimits& _limits;
    const std::uint64_t _budget;
    std::uint64_t _expanded = 0;
    std::size_t _seen = 0;
    bool _ended = false;
    std::vector<std::string> _path;
    std::vector<std::vector<std::uint8_t>> _buffers; // one member per depth
    std::vector<std::uint8_t> _scratch;
};

std::string counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string sizeText(std::uint64_t bytes)
{
    constexpr std::uint64_t kKiB = 1024;
    constexpr std::uint64_t kMiB = kKiB * kKiB;
    if (bytes >= kMiB && bytes % kMiB == 0) {
        return std::to_string(bytes / kMiB) + " MiB";
    }
    if (bytes >= kKiB && bytes % kKiB == 0) {
        return std::to_string(bytes / kKiB) + " KiB";
    }
    return counted(static_cast<std::size_t>(bytes), "byte", "bytes");
}

std::string passedOverText(PassedOver reason, std::size_t count, const ArchiveLimits& limits)
{
    const std::string number = std::to_string(count);
    switch (reason) {
    case PassedOver::TooLarge:
        return number + " over " + sizeText(limits.memberSize);
    case PassedOver::TooMany:
        return number + " after the first " + std::to_string(limits.members);
    case PassedOver::Expansion:
        return number + " expanding past " + std::to_string(limits.expansion) +
               " times the archive's size or " + sizeText(limits.expanded);
    case PassedOver::Encrypted:
        return number + " encrypted";
    case PassedOver::TooDeep:
        if (limits.depth <= 0) {
            return counted(count, "archive", "archives") + " inside it, not opened";
        }
        return counted(count, "archive", "archives") + " nested deeper than " +
               counted(static_cast<std::size_t>(limits.depth), "level", "levels");
    case PassedOver::Damaged:
    case PassedOver::Count_:
        break;
    }
    return number + " damaged";
}

} // namespace

std::string describeArchiveKind(ArchiveKind kind)
{
    std::string compression;
    switch (kind.compression) {
    case ArchiveCompression::None:
        break;
    case ArchiveCompression::Gzip:
        compression = "gzip-compressed ";
        break;
    case ArchiveCompression::Bzip2:
        compression = "bzip2-compressed ";
        break;
    case ArchiveCompression::Xz:
        compression = "xz-compressed ";
        break;
    }
    std::string what;
    switch (kind.format) {
    case ArchiveFormat::None:
        return "not an archive";
    case ArchiveFormat::Zip:
        what = "zip archive";
        break;
    case ArchiveFormat::SevenZip:
        what = "7z archive";
        break;
    case ArchiveFormat::Tar:
        what = "tar archive";
        break;
    case ArchiveFormat::Lha:
        what = "LHA archive";
        break;
    case ArchiveFormat::SingleFile:
        what = compression.empty() ? "compressed file" : "file";
        break;
    }
    const std::string words = compression + what;
    const bool vowelSound = words.starts_with("xz") || words.starts_with("LHA");
    return (vowelSound ? "an " : "a ") + words;
}

std::size_t ArchiveWalk::passedOverTotal() const
{
    std::size_t total = 0;
    for (const std::size_t count : passedOver) {
        total += count;
    }
    return total;
}

ArchiveKind archiveKind(std::span<const std::uint8_t> bytes)
{
    const std::optional<OpenArchive> opened = openArchive(bytes);
    return opened ? opened->kind : ArchiveKind{};
}

ArchiveWalk visitArchive(std::span<const std::uint8_t> bytes, const ArchiveVisitor& visit,
                         const ArchiveLimits& limits)
{
    ArchiveWalk walk;
    walk.limits = limits;
    std::optional<OpenArchive> opened = openArchive(bytes);
    if (!opened) {
        return walk;
    }
    walk.kind = opened->kind;
    Walker walker(bytes.size(), visit, walk);
    const Ending ending = walker.walkArchive(*opened, 0);
    if (ending == Ending::DamagedHeader || ending == Ending::DamagedMember) {
        walker.endDamaged(*opened);
    }
    return walk;
}

std::string describeArchiveWalk(const ArchiveWalk& walk)
{
    std::string text = describeArchiveKind(walk.kind);
    if (!walk.kind.isArchive()) {
        return text;
    }
    text += " with " + counted(walk.files, "file", "files");
    if (walk.archivesInside > 0) {
        text += " (" + counted(walk.archivesInside, "archive", "archives") + " inside it opened)";
    }
    if (const std::size_t total = walk.passedOverTotal(); total > 0) {
        text += "; " + std::to_string(total) + " passed over:";
        const char* separator = " ";
        for (std::size_t i = 0; i < walk.passedOver.size(); ++i) {
            if (walk.passedOver[i] > 0) {
                text += separator +
                        passedOverText(static_cast<PassedOver>(i), walk.passedOver[i], walk.limits);
                separator = ", ";
            }
        }
    }
    switch (walk.stop) {
    case ArchiveStop::None:
    case ArchiveStop::Visitor:
        if (!walk.problem.empty()) {
            text += "; damage: " + walk.problem;
        }
        break;
    case ArchiveStop::TooMany:
        text += "; stopped after " + counted(walk.limits.members, "file", "files");
        break;
    case ArchiveStop::Expansion:
        text += "; stopped: it expands past " + std::to_string(walk.limits.expansion) +
                " times its size or " + sizeText(walk.limits.expanded);
        break;
    case ArchiveStop::Damaged:
        text += "; stopped: damaged (" + walk.problem + ")";
        break;
    }
    return text;
}

std::string joinArchivePath(std::span<const std::string> path)
{
    std::string joined;
    for (std::size_t i = 0; i < path.size(); ++i) {
        joined += (i == 0 ? "" : " › ") + path[i];
    }
    return joined;
}

} // namespace a3
