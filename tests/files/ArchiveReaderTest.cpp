// Archives' members read from memory: archives made by other tools, the
// limits against bombs, damage, nesting, and files that are no archives.

#include "ArchiveReader.h"

#include "TempDir.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

namespace a3 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes archiveFile(const std::string& name)
{
    return test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "archives" / name);
}

Bytes factoryBank()
{
    return test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "factory-bank.syx");
}

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

const Bytes kNotes = bytesOf("Live set, March: bank 2 for the second half.\n");
const Bytes kLead = {0xF0, 0x42, 0x30, 0x00, 0x01, 0xF7};

struct Member
{
    std::string path; // joined
    Bytes bytes;
    bool operator==(const Member&) const = default;
};

void PrintTo(const Member& member, std::ostream* out)
{
    *out << "{" << member.path << ", " << member.bytes.size() << " bytes}";
}

struct Visited
{
    ArchiveWalk walk;
    std::vector<Member> members;

    // The members' paths, joined by ", ".
    std::string paths() const
    {
        std::string joined;
        for (const Member& member : members) {
            joined += (joined.empty() ? "" : ", ") + member.path;
        }
        return joined;
    }
};

Visited visitAll(std::span<const std::uint8_t> bytes, const ArchiveLimits& limits = {})
{
    Visited visited;
    visited.walk = visitArchive(
        bytes,
        [&](const ArchiveMember& member) {
            visited.members.push_back(
                {joinArchivePath(member.path), Bytes(member.bytes.begin(), member.bytes.end())});
            return true;
        },
        limits);
    return visited;
}

// The counts by reason, in the order of PassedOver.
using Counts = std::array<std::size_t, static_cast<std::size_t>(PassedOver::Count_)>;

Counts passed(std::initializer_list<std::pair<PassedOver, std::size_t>> counts)
{
    Counts result{};
    for (const auto& [reason, count] : counts) {
        result[static_cast<std::size_t>(reason)] = count;
    }
    return result;
}

// Archives made here, where no tool makes them small enough to keep: with
// libarchive's writer, into memory.
class ArchiveWriter
{
public:
    ArchiveWriter(int (*format)(archive*), int (*filter)(archive*) = archive_write_add_filter_none)
        : _handle(archive_write_new())
    {
        format(_handle);
        filter(_handle);
        archive_write_set_bytes_in_last_block(_handle, 1);
        check(archive_write_open(_handle, &_bytes, nullptr, &ArchiveWriter::append, nullptr));
    }
    ~ArchiveWriter() { archive_write_free(_handle); }
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    archive* handle() { return _handle; }

    void add(const std::string& name, std::span<const std::uint8_t> bytes)
    {
        header(name, bytes.size());
        if (!bytes.empty()) {
            check(archive_write_data(_handle, bytes.data(), bytes.size()) ==
                          static_cast<la_ssize_t>(bytes.size())
                      ? ARCHIVE_OK
                      : ARCHIVE_FATAL);
        }
    }

    void addZeros(const std::string& name, std::uint64_t size)
    {
        header(name, size);
        const Bytes zeros(64 * 1024);
        for (std::uint64_t written = 0; written < size;) {
            const auto chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), size - written));
            check(archive_write_data(_handle, zeros.data(), chunk) > 0 ? ARCHIVE_OK
                                                                       : ARCHIVE_FATAL);
            written += chunk;
        }
    }

    Bytes finish()
    {
        check(archive_write_close(_handle));
        return std::move(_bytes);
    }

private:
    static la_ssize_t append(archive*, void* sink, const void* buffer, size_t size)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        static_cast<Bytes*>(sink)->insert(static_cast<Bytes*>(sink)->end(), bytes, bytes + size);
        return static_cast<la_ssize_t>(size);
    }

    void header(const std::string& name, std::uint64_t size)
    {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(size));
        const int status = archive_write_header(_handle, entry);
        archive_entry_free(entry);
        check(status);
    }

    void check(int status)
    {
        if (status < ARCHIVE_WARN) {
            const char* error = archive_error_string(_handle);
            throw std::runtime_error(error ? error : "archive_write failed");
        }
    }

    archive* _handle;
    Bytes _bytes;
};

std::uint32_t le32(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      bytes[at + 3] << 24);
}

void setLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// The offset of a member's entry in a zip's central directory.
std::size_t centralEntry(const Bytes& zip, const std::string& name)
{
    const Bytes signature = {0x50, 0x4B, 0x01, 0x02};
    for (auto at = zip.begin();
         (at = std::search(at, zip.end(), signature.begin(), signature.end())) != zip.end(); ++at) {
        const auto entry = static_cast<std::size_t>(at - zip.begin());
        const std::size_t nameLength = zip[entry + 28] | zip[entry + 29] << 8;
        const auto nameAt = zip.begin() + static_cast<std::ptrdiff_t>(entry + 46);
        if (std::string(nameAt, nameAt + static_cast<std::ptrdiff_t>(nameLength)) == name) {
            return entry;
        }
    }
    throw std::runtime_error("no central directory entry for " + name);
}

void setCentralSize(Bytes& zip, const std::string& name, std::uint32_t size)
{
    setLe32(zip, centralEntry(zip, name) + 24, size);
}

// Sets the expanded size a zip from libarchive's writer gives a member, in
// its central directory, its local header and the descriptor after its data,
// as a writer that lies would.
void setZipSize(Bytes& zip, const std::string& name, std::uint32_t size)
{
    const std::size_t entry = centralEntry(zip, name);
    const std::size_t local = le32(zip, entry + 42);
    const std::size_t descriptor = local + 30 + (zip[local + 26] | zip[local + 27] << 8) +
                                   (zip[local + 28] | zip[local + 29] << 8) + le32(zip, entry + 20);
    if (le32(zip, descriptor) != 0x08074B50) {
        throw std::runtime_error("no data descriptor after " + name);
    }
    setLe32(zip, entry + 24, size);
    setLe32(zip, local + 22, size);
    setLe32(zip, descriptor + 12, size);
}

// 4096 bytes gzipped, with zeros after the stream (which gzip and libarchive
// pass over) up to size.
Bytes gzipPaddedTo(std::size_t size)
{
    ArchiveWriter writer(archive_write_set_format_raw, archive_write_add_filter_gzip);
    writer.add("", Bytes(4096, 'A'));
    Bytes gzip = writer.finish();
    if (gzip.size() > size) {
        throw std::runtime_error("the gzip stream is longer than " + std::to_string(size));
    }
    gzip.resize(size);
    return gzip;
}

Bytes zipStoring(const std::string& name, std::span<const std::uint8_t> bytes)
{
    ArchiveWriter writer(archive_write_set_format_zip);
    archive_write_zip_set_compression_store(writer.handle());
    writer.add(name, bytes);
    return writer.finish();
}

// A stored (-lh0-) LHA archive with a level 0 header, which no tool here
// writes.
Bytes storedLha(const std::string& name, std::span<const std::uint8_t> data)
{
    std::uint16_t crc = 0; // CRC-16/ARC, as LHA checks the data
    for (const std::uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
    }
    const auto size = static_cast<std::uint32_t>(data.size());
    Bytes lha = {0, 0, '-', 'l', 'h', '0', '-'};
    for (const std::uint32_t field :
         {size, size, std::uint32_t{0x58610000}}) { // packed, size, time
        for (int i = 0; i < 4; ++i) {
            lha.push_back(static_cast<std::uint8_t>(field >> (8 * i)));
        }
    }
    lha.insert(lha.end(), {0x20, 0, static_cast<std::uint8_t>(name.size())}); // attribute, level
    lha.insert(lha.end(), name.begin(), name.end());
    lha.insert(lha.end(), {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)});
    lha[0] = static_cast<std::uint8_t>(lha.size() - 2);
    unsigned sum = 0;
    for (std::size_t i = 2; i < lha.size(); ++i) {
        sum += lha[i];
    }
    lha[1] = static_cast<std::uint8_t>(sum);
    lha.insert(lha.end(), data.begin(), data.end());
    lha.push_back(0); // the end of the archive
    return lha;
}

ArchiveKind kindOf(ArchiveFormat format, ArchiveCompression compression = ArchiveCompression::None)
{
    return {format, compression};
}

// Limits that differ from the defaults in one field.
template <typename T>
ArchiveLimits with(T ArchiveLimits::*field, std::type_identity_t<T> value)
{
    ArchiveLimits limits;
    limits.*field = value;
    return limits;
}

struct Named
{
    std::string name;
    Bytes bytes;
};

Named file(const std::string& name)
{
    return {name, archiveFile(name)};
}

// Each archive made by another tool, and two made here: its kind, and every
// regular member with its path and bytes in the archive's order; folders and
// links are not members. Archives inside are opened one level deep, and one
// more level is passed over. A header that libarchive only warns about (the
// zip's local header and central directory disagree on a size) is read.
TEST(ArchiveReader, VisitsTheRegularMembersOfEachKindOfArchiveInOrder)
{
    using enum ArchiveFormat;
    using ArchiveCompression::Bzip2, ArchiveCompression::Gzip, ArchiveCompression::Xz;
    const Bytes bank = factoryBank();
    const std::vector<Member> bankZip{
        {"bank.syx", bank}, {"notes.txt", kNotes}, {"patches/lead.syx", kLead}};
    const std::vector<Member> shortTar{{"notes.txt", kNotes}, {"patches/lead.syx", kLead}};
    Bytes warning = archiveFile("bank.zip");
    setCentralSize(warning, "notes.txt", 40);
    const struct
    {
        Named archive;
        ArchiveKind kind;
        std::vector<Member> members;
        std::size_t archivesInside;
        Counts passedOver;
    } cases[] = {
        {file("bank.zip"), kindOf(Zip), bankZip, 0, {}},
        {{"a size that draws a warning", warning}, kindOf(Zip), bankZip, 0, {}},
        {file("short.tar"), kindOf(Tar), shortTar, 0, {}},
        {file("short.tgz"), kindOf(Tar, Gzip), shortTar, 0, {}},
        {file("short.tar.bz2"), kindOf(Tar, Bzip2), shortTar, 0, {}},
        {file("short.tar.xz"), kindOf(Tar, Xz), shortTar, 0, {}},
        {file("bank.7z"), kindOf(SevenZip), {{"bank.syx", bank}, {"notes.txt", kNotes}}, 0, {}},
        {{"stored LHA", storedLha("lead.syx", kLead)}, kindOf(Lha), {{"lead.syx", kLead}}, 0, {}},
        {file("bank.syx.gz"), kindOf(SingleFile, Gzip), {{"bank.syx", bank}}, 0, {}},
        {file("noname.gz"), kindOf(SingleFile, Gzip), {{"", kLead}}, 0, {}},
        {file("lead.syx.bz2"), kindOf(SingleFile, Bzip2), {{"", kLead}}, 0, {}},
        {file("lead.syx.xz"), kindOf(SingleFile, Xz), {{"", kLead}}, 0, {}},
        {file("nested.zip"),
         kindOf(Zip),
         {{"inner.tgz › notes.txt", kNotes},
          {"inner.tgz › patches/lead.syx", kLead},
          {"notes.txt", kNotes}},
         1,
         {}},
        {file("deeper.zip"),
         kindOf(Zip),
         {{"middle.tgz › lead.syx", kLead}},
         1,
         passed({{PassedOver::TooDeep, 1}})},
        {file("encrypted.zip"),
         kindOf(Zip),
         {{"patches/lead.syx", kLead}},
         0,
         passed({{PassedOver::Encrypted, 1}})},
    };
    for (const auto& [archive, kind, members, archivesInside, passedOver] : cases) {
        SCOPED_TRACE(archive.name);
        EXPECT_EQ(kind, archiveKind(archive.bytes));
        const Visited visited = visitAll(archive.bytes);
        EXPECT_EQ(kind, visited.walk.kind);
        EXPECT_EQ(members, visited.members);
        EXPECT_EQ(members.size(), visited.walk.files);
        EXPECT_EQ(archivesInside, visited.walk.archivesInside);
        EXPECT_EQ(passedOver, visited.walk.passedOver);
        EXPECT_EQ(ArchiveStop::None, visited.walk.stop);
        EXPECT_EQ("", visited.walk.problem);
    }
}

// Plain files, as a bank is kept, are no archives and are not visited.
TEST(ArchiveReader, TellsPlainFilesFromArchives)
{
    const auto scanFile = [](const char* name) {
        return test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "scan" / name);
    };
    const struct
    {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"a dump", factoryBank()},
        {"a MIDI file", scanFile("format0.mid")},
        {"hex text", scanFile("od-hex.txt")},
        {"nothing", {}},
        {"one byte", {0xF0}},
        {"zeros", Bytes(10240, 0)}, // what tar takes for an empty archive
        {"text starting PK", bytesOf("PK list of patches\n")},
        {"a gzip signature alone", {0x1F, 0x8B}},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_EQ(ArchiveKind{}, archiveKind(bytes)) << what;
        const Visited visited = visitAll(bytes);
        EXPECT_EQ(ArchiveKind{}, visited.walk.kind) << what;
        EXPECT_TRUE(visited.members.empty()) << what;
        EXPECT_EQ(0u, visited.walk.passedOverTotal()) << what;
        EXPECT_EQ("not an archive", describeArchiveWalk(visited.walk)) << what;
    }
}

// Each limit on an archive made by a tool, set where it bites: what is
// visited, what is passed over and why, and why the walk stopped.
TEST(ArchiveReader, PassesOverAndCountsWhatTheLimitsKeepOut)
{
    using P = PassedOver;
    using L = ArchiveLimits;
    const Counts none{};
    const Bytes bankZip = archiveFile("bank.zip"), nested = archiveFile("nested.zip");
    const Bytes gzip = archiveFile("bank.syx.gz"), gzipInZip = zipStoring("bank.syx.gz", gzip);
    const struct
    {
        const char* what;
        Bytes archive;
        ArchiveLimits limits;
        std::string paths;
        Counts passedOver;
        ArchiveStop stop;
    } cases[] = {
        {"a member as large as the limit", bankZip, with(&L::memberSize, 29198),
         "bank.syx, notes.txt, patches/lead.syx", none, ArchiveStop::None},
        {"a member one byte over", bankZip, with(&L::memberSize, 29197),
         "notes.txt, patches/lead.syx", passed({{P::TooLarge, 1}}), ArchiveStop::None},
        {"a file without its size, one byte over", gzip, with(&L::memberSize, 29197), "",
         passed({{P::TooLarge, 1}}), ArchiveStop::None},
        {"as many members as the limit", bankZip, with(&L::members, 3),
         "bank.syx, notes.txt, patches/lead.syx", none, ArchiveStop::None},
        {"one member over, counted", bankZip, with(&L::members, 2), "bank.syx, notes.txt",
         passed({{P::TooMany, 1}}), ArchiveStop::TooMany},
        {"the members of an archive inside count, and the rest of the outer one", nested,
         with(&L::members, 2), "inner.tgz › notes.txt", passed({{P::TooMany, 2}}),
         ArchiveStop::TooMany},
        {"the rest counted until passing over them expands too far", archiveFile("bomb.tar.bz2"),
         with(&L::members, 0), "", passed({{P::TooMany, 1}}), ArchiveStop::TooMany},
        {"no archive inside opened", nested, with(&L::depth, 0), "notes.txt",
         passed({{P::TooDeep, 1}}), ArchiveStop::None},
        {"two levels opened", archiveFile("deeper.zip"), with(&L::depth, 2),
         "middle.tgz › innermost.zip › notes.txt, middle.tgz › lead.syx", none, ArchiveStop::None},
        {"expanding no more than three times", gzip, with(&L::expansion, 3), "bank.syx", none,
         ArchiveStop::None},
        {"expanding no more than twice", gzip, with(&L::expansion, 2), "",
         passed({{P::Expansion, 1}}), ArchiveStop::Expansion},
        {"a compressed file stored in a zip, expanding under four times the zip", gzipInZip,
         with(&L::expansion, 4), "bank.syx.gz › bank.syx", none, ArchiveStop::None},
        {"the same, expanding over three times the zip", gzipInZip, with(&L::expansion, 3), "",
         passed({{P::Expansion, 1}}), ArchiveStop::Expansion},
        {"expanding exactly as far as the limit", gzipPaddedTo(4096), with(&L::expansion, 1), "",
         none, ArchiveStop::None},
        {"expanding one byte further", gzipPaddedTo(4095), with(&L::expansion, 1), "",
         passed({{P::Expansion, 1}}), ArchiveStop::Expansion},
        {"expanding exactly as far as the bytes in all allowed", gzipPaddedTo(4096),
         with(&L::expanded, 4096), "", none, ArchiveStop::None},
        {"one byte further, well within the ratio", gzipPaddedTo(4096), with(&L::expanded, 4095),
         "", passed({{P::Expansion, 1}}), ArchiveStop::Expansion},
        {"a 200 MB zip bomb, by its header", archiveFile("bomb.zip"), L{}, "notes.txt",
         passed({{P::TooLarge, 1}}), ArchiveStop::None},
        {"a 200 MB tar bomb, by its header, expands as it is passed over",
         archiveFile("bomb.tar.bz2"), L{}, "", passed({{P::TooLarge, 1}}), ArchiveStop::Expansion},
        {"members under the size that expand too far", archiveFile("expands.zip"), L{}, "notes.txt",
         passed({{P::Expansion, 1}}), ArchiveStop::Expansion},
    };
    for (const auto& [what, archive, walkLimits, paths, passedOver, stop] : cases) {
        SCOPED_TRACE(what);
        const Visited visited = visitAll(archive, walkLimits);
        EXPECT_EQ(paths, visited.paths());
        EXPECT_EQ(visited.members.size(), visited.walk.files);
        EXPECT_EQ(passedOver, visited.walk.passedOver);
        EXPECT_EQ(stop, visited.walk.stop);
        for (const Member& member : visited.members) {
            EXPECT_LE(member.bytes.size(), walkLimits.memberSize);
        }
    }
}

// 200,000 empty members: the first 100,000 are visited, the rest counted.
TEST(ArchiveReader, StopsAtTheMemberLimitAndCountsTheRest)
{
    ArchiveWriter writer(archive_write_set_format_zip);
    archive_write_zip_set_compression_store(writer.handle());
    for (int i = 0; i < 200'000; ++i) {
        writer.add("m" + std::to_string(i), {});
    }
    const Bytes zip = writer.finish();
    std::size_t visits = 0;
    std::string last;
    const ArchiveWalk walk = visitArchive(zip, [&](const ArchiveMember& member) {
        ++visits;
        last = joinArchivePath(member.path);
        return member.bytes.empty();
    });
    EXPECT_EQ(100'000u, visits);
    EXPECT_EQ("m99999", last);
    EXPECT_EQ(ArchiveStop::TooMany, walk.stop);
    EXPECT_EQ("a zip archive with 100000 files; 100000 passed over: 100000 after the first 100000;"
              " stopped after 100000 files",
              describeArchiveWalk(walk));
}

// Sizes in headers lie: a member whose header says 100 bytes is passed over
// once more than the limit came, and the members around it are read.
TEST(ArchiveReader, StopsReadingAMemberPastTheLimitWhateverItsHeaderSays)
{
    constexpr std::uint64_t kLimit = std::uint64_t{64} << 20;
    // Random bytes stored, so that the zip expands well under 1000 times.
    Bytes padding(512 * 1024);
    std::mt19937 random(7);
    std::ranges::generate(padding, [&] { return static_cast<std::uint8_t>(random()); });
    ArchiveWriter writer(archive_write_set_format_zip);
    archive_write_zip_set_compression_store(writer.handle());
    writer.add("padding.bin", padding);
    archive_write_zip_set_compression_deflate(writer.handle());
    // More than a block over: libarchive checks a member's size with its
    // last block, and a read that takes in that block fails as a whole.
    writer.addZeros("huge.bin", kLimit + (1 << 20));
    writer.addZeros("limit.bin", kLimit);
    writer.add("notes.txt", kNotes);
    Bytes zip = writer.finish();
    setZipSize(zip, "huge.bin", 100);
    setZipSize(zip, "limit.bin", 100);

    std::vector<std::pair<std::string, std::size_t>> sizes;
    const ArchiveWalk walk = visitArchive(zip, [&](const ArchiveMember& member) {
        sizes.emplace_back(joinArchivePath(member.path), member.bytes.size());
        return true;
    });
    // The member of exactly the limit is read to its end, where libarchive
    // finds that it is not the size its header said.
    EXPECT_EQ((std::vector<std::pair<std::string, std::size_t>>{{"padding.bin", padding.size()},
                                                                {"notes.txt", kNotes.size()}}),
              sizes);
    EXPECT_EQ(passed({{PassedOver::TooLarge, 1}, {PassedOver::Damaged, 1}}), walk.passedOver);
    EXPECT_EQ(ArchiveStop::None, walk.stop);
    EXPECT_NE(std::string::npos, walk.problem.find("wrong size")) << walk.problem;
}

// An archive cut short ends the walk with what was read before the cut and
// libarchive's reason; a member cut in its data is counted as damaged.
TEST(ArchiveReader, EndsADamagedArchiveWithWhatWasReadAndWhy)
{
    using enum ArchiveFormat;
    const struct
    {
        std::string file;
        std::size_t keep; // bytes kept from the start
        ArchiveKind kind;
        std::string paths;
        std::size_t damaged;
    } cases[] = {
        // short.tar: notes.txt's header and data, patches/, lead.syx's header at 1536
        {"short.tar", 1600, kindOf(Tar), "notes.txt", 0}, // in lead.syx's header
        {"short.tar", 2100, kindOf(Tar), "notes.txt", 1}, // in lead.syx's data
        // Cut in the first 64 KiB they expand to, before a format could be told.
        {"short.tgz", 200, kindOf(SingleFile, ArchiveCompression::Gzip), "", 0},
        {"bank.syx.gz", 5000, kindOf(SingleFile, ArchiveCompression::Gzip), "", 0},
        {"bank.zip", 20, kindOf(Zip), "", 0},       // in bank.syx's header
        {"bank.zip", 5000, kindOf(Zip), "", 1},     // in bank.syx's data, without the directory
        {"bank.7z", 5000, kindOf(SevenZip), "", 0}, // 7z keeps its directory last
        {"nested.zip", 100, kindOf(Zip), "", 1},    // in inner.tgz's data
    };
    for (const auto& [file, keep, kind, paths, damaged] : cases) {
        const Bytes whole = archiveFile(file);
        ASSERT_LT(keep, whole.size()) << file;
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
        const std::string what = file + " cut to " + std::to_string(keep);
        EXPECT_EQ(kind, archiveKind(cut)) << what;
        const Visited visited = visitAll(cut);
        EXPECT_EQ(kind, visited.walk.kind) << what;
        EXPECT_EQ(paths, visited.paths()) << what;
        EXPECT_EQ(passed({{PassedOver::Damaged, damaged}}), visited.walk.passedOver) << what;
        EXPECT_EQ(ArchiveStop::Damaged, visited.walk.stop) << what;
        EXPECT_FALSE(visited.walk.problem.empty()) << what;
        EXPECT_NE(std::string::npos, describeArchiveWalk(visited.walk)
                                         .find("; stopped: damaged (" + visited.walk.problem + ")"))
            << what;
    }
}

// Damage inside an archive inside ends that archive only.
TEST(ArchiveReader, DamageInAnArchiveInsideEndsThatArchiveOnly)
{
    const Bytes tgz = archiveFile("short.tgz");
    ArchiveWriter writer(archive_write_set_format_zip);
    writer.add("cut.tgz", std::span(tgz).first(200));
    writer.add("notes.txt", kNotes);
    const Visited visited = visitAll(writer.finish());
    EXPECT_EQ((std::vector<Member>{{"notes.txt", kNotes}}), visited.members);
    EXPECT_EQ(1u, visited.walk.archivesInside);
    EXPECT_EQ(passed({{PassedOver::Damaged, 1}}), visited.walk.passedOver);
    EXPECT_EQ(ArchiveStop::None, visited.walk.stop);
    EXPECT_FALSE(visited.walk.problem.empty());
}

// The damage told is the one that stopped the walk, not one met before
// inside: here a compressed file cut short in a zip that is cut short.
TEST(ArchiveReader, TellsTheDamageThatStoppedTheWalk)
{
    const Bytes gzip = archiveFile("bank.syx.gz");
    ArchiveWriter writer(archive_write_set_format_zip);
    archive_write_zip_set_compression_store(writer.handle());
    writer.add("cut.gz", std::span(gzip).first(5000));
    writer.add("notes.txt", kNotes);
    const Bytes zip = writer.finish();
    const auto notes = std::search(zip.begin(), zip.end(), kNotes.begin(), kNotes.end());
    ASSERT_NE(zip.end(), notes);
    const Visited visited = visitAll(Bytes(zip.begin(), notes + 10));
    EXPECT_TRUE(visited.members.empty());
    EXPECT_EQ(1u, visited.walk.archivesInside);
    EXPECT_EQ(passed({{PassedOver::Damaged, 2}}), visited.walk.passedOver);
    EXPECT_EQ(ArchiveStop::Damaged, visited.walk.stop);
    EXPECT_NE(std::string::npos, visited.walk.problem.find("ZIP")) << visited.walk.problem;
}

TEST(ArchiveReader, TheVisitorEndsTheWalk)
{
    std::vector<std::string> paths;
    const ArchiveWalk walk = visitArchive(archiveFile("nested.zip"), [&](const ArchiveMember& m) {
        paths.push_back(joinArchivePath(m.path));
        return false;
    });
    EXPECT_EQ(std::vector<std::string>{"inner.tgz › notes.txt"}, paths);
    EXPECT_EQ(1u, walk.files);
    EXPECT_EQ(ArchiveStop::Visitor, walk.stop);
    EXPECT_EQ(0u, walk.passedOverTotal());
}

TEST(ArchiveReader, AVisitorsExceptionReachesTheCaller)
{
    struct Thrown
    {};
    int calls = 0;
    EXPECT_THROW(visitArchive(archiveFile("bank.7z"),
                              [&](const ArchiveMember&) -> bool {
                                  ++calls;
                                  throw Thrown{};
                              }),
                 Thrown);
    EXPECT_EQ(1, calls);
}

TEST(ArchiveReader, DescribesKindsAndWalksForAPerson)
{
    using enum ArchiveFormat;
    using ArchiveCompression::Bzip2, ArchiveCompression::Gzip, ArchiveCompression::Xz;
    const std::pair<ArchiveKind, const char*> kinds[] = {
        {kindOf(None), "not an archive"},
        {kindOf(Zip), "a zip archive"},
        {kindOf(SevenZip), "a 7z archive"},
        {kindOf(Tar), "a tar archive"},
        {kindOf(Tar, Gzip), "a gzip-compressed tar archive"},
        {kindOf(Tar, Bzip2), "a bzip2-compressed tar archive"},
        {kindOf(Tar, Xz), "an xz-compressed tar archive"},
        {kindOf(Lha), "an LHA archive"},
        {kindOf(SingleFile, Gzip), "a gzip-compressed file"},
        {kindOf(SingleFile, Xz), "an xz-compressed file"},
    };
    for (const auto& [kind, text] : kinds) {
        EXPECT_EQ(text, describeArchiveKind(kind));
    }

    const auto walkOf = [](auto change) {
        ArchiveWalk walk;
        walk.kind = kindOf(Zip);
        change(walk);
        return walk;
    };
    const std::pair<ArchiveWalk, const char*> walks[] = {
        {walkOf([](ArchiveWalk& w) { w.files = 12; }), "a zip archive with 12 files"},
        {walkOf([](ArchiveWalk& w) { w.files = 1; }), "a zip archive with 1 file"},
        {walkOf([](ArchiveWalk& w) {
             w.files = 3;
             w.archivesInside = 1;
         }),
         "a zip archive with 3 files (1 archive inside it opened)"},
        {walkOf([](ArchiveWalk& w) {
             w.passedOver = passed({{PassedOver::TooLarge, 1}, {PassedOver::Encrypted, 2}});
         }),
         "a zip archive with 0 files; 3 passed over: 1 over 64 MiB, 2 encrypted"},
        {walkOf([](ArchiveWalk& w) {
             w.files = 2;
             w.archivesInside = 2;
             w.passedOver = passed({{PassedOver::TooDeep, 1}, {PassedOver::Damaged, 1}});
             w.problem = "Truncated input file";
         }),
         "a zip archive with 2 files (2 archives inside it opened); 2 passed over: 1 archive "
         "nested deeper than 1 level, 1 damaged; damage: Truncated input file"},
        {walkOf([](ArchiveWalk& w) {
             w.limits.depth = 2;
             w.passedOver = passed({{PassedOver::TooDeep, 2}});
         }),
         "a zip archive with 0 files; 2 passed over: 2 archives nested deeper than 2 levels"},
        {walkOf([](ArchiveWalk& w) {
             w.limits.depth = 0;
             w.passedOver = passed({{PassedOver::TooDeep, 1}});
         }),
         "a zip archive with 0 files; 1 passed over: 1 archive inside it, not opened"},
        {walkOf([](ArchiveWalk& w) {
             w.limits.memberSize = 2048;
             w.passedOver = passed({{PassedOver::TooLarge, 1}, {PassedOver::Expansion, 1}});
             w.stop = ArchiveStop::Expansion;
         }),
         "a zip archive with 0 files; 2 passed over: 1 over 2 KiB, 1 expanding past 1000 times "
         "the archive's size or 1024 MiB; stopped: it expands past 1000 times its size or 1024 "
         "MiB"},
        {walkOf([](ArchiveWalk& w) {
             w.limits.memberSize = 100;
             w.limits.members = 3;
             w.files = 3;
             w.passedOver = passed({{PassedOver::TooLarge, 1}, {PassedOver::TooMany, 4}});
             w.stop = ArchiveStop::TooMany;
         }),
         "a zip archive with 3 files; 5 passed over: 1 over 100 bytes, 4 after the first 3; "
         "stopped after 3 files"},
        {walkOf([](ArchiveWalk& w) {
             w.stop = ArchiveStop::Damaged;
             w.problem = "Damaged tar archive";
         }),
         "a zip archive with 0 files; stopped: damaged (Damaged tar archive)"},
    };
    for (const auto& [walk, text] : walks) {
        EXPECT_EQ(text, describeArchiveWalk(walk));
    }
}

TEST(ArchiveReader, JoinsAPathForAPerson)
{
    const std::pair<std::vector<std::string>, const char*> paths[] = {
        {{}, ""},
        {{"bank.syx"}, "bank.syx"},
        {{"inner.tgz", "bank.syx"}, "inner.tgz › bank.syx"},
        {{"bank.syx.gz", ""}, "bank.syx.gz › "},
    };
    for (const auto& [path, text] : paths) {
        EXPECT_EQ(text, joinArchivePath(path));
    }
}

} // namespace
} // namespace a3
