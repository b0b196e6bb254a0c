// Any bytes walked as an archive in memory, twice: no member handed over is
// over the size limit, all of them together stay within the expansion limit,
// the counts agree with the visits and the stop, the kind agrees with the
// one archiveKind tells, and the second walk sees exactly what the first
// saw.
//
// The limits are small, so that inputs of a few kilobytes reach each of them;
// libarchive is Debian's and not instrumented, so coverage comes from the
// walk's own decisions and from libarchive's comparisons with signatures.

#include "ArchiveReader.h"
#include "Require.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace a3;
using a3::fuzz::require;

struct Seen
{
    std::vector<std::string> paths; // joined
    std::vector<std::uint64_t> hashes;
    std::uint64_t bytes = 0;
    std::size_t longestPath = 0;
    bool overLimit = false;
};

// FNV-1a: only to compare two walks' members.
A3_FUZZ_UNINSTRUMENTED std::uint64_t hashOf(const std::uint8_t* bytes, std::size_t size)
{
    std::uint64_t hash = 0xCBF29CE484222325;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001B3;
    }
    return hash;
}

ArchiveWalk walk(std::span<const std::uint8_t> input, const ArchiveLimits& limits, Seen& seen)
{
    return visitArchive(
        input,
        [&](const ArchiveMember& member) {
            seen.paths.push_back(joinArchivePath(member.path));
            seen.hashes.push_back(hashOf(member.bytes.data(), member.bytes.size()));
            seen.bytes += member.bytes.size();
            seen.longestPath = std::max(seen.longestPath, member.path.size());
            seen.overLimit = seen.overLimit || member.bytes.size() > limits.memberSize;
            return true;
        },
        limits);
}

bool sameWalk(const ArchiveWalk& a, const ArchiveWalk& b)
{
    return a.kind == b.kind && a.files == b.files && a.archivesInside == b.archivesInside &&
           a.passedOver == b.passedOver && a.stop == b.stop && a.problem == b.problem;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    ArchiveLimits limits;
    limits.memberSize = 16 * 1024;
    limits.members = 32;
    limits.expansion = 100;

    Seen first;
    const ArchiveWalk walked = walk(input, limits, first);
    require(!first.overLimit, "no member handed over is over the size limit");
    require(first.bytes <= limits.expansion * size,
            "the members handed over are within the expansion limit");
    require(first.paths.size() == walked.files, "every member handed over is counted");
    require(walked.files + walked.archivesInside <= limits.members,
            "no more members are read than the limit");
    require(first.longestPath <= static_cast<std::size_t>(limits.depth) + 1,
            "archives are opened no deeper than the limit");
    require(walked.kind == archiveKind(input), "the walk and archiveKind tell the same kind");
    if (!walked.kind.isArchive()) {
        require(walked.files == 0 && walked.passedOverTotal() == 0 &&
                    walked.stop == ArchiveStop::None,
                "what is not an archive is not walked");
    }
    require((walked.passedOverFor(PassedOver::TooMany) > 0) ==
                (walked.stop == ArchiveStop::TooMany),
            "members are counted past the limit exactly when the walk stopped there");
    require(walked.passedOverFor(PassedOver::Expansion) <= 1,
            "the expansion limit passes over at most the member it stops in");
    require(walked.stop != ArchiveStop::Damaged || !walked.problem.empty(),
            "a walk ended by damage says why");
    require(walked.passedOverFor(PassedOver::Damaged) == 0 || !walked.problem.empty(),
            "a damaged member comes with a reason");
    require(!describeArchiveWalk(walked).empty(), "every walk can be described");

    Seen second;
    const ArchiveWalk again = walk(input, limits, second);
    require(sameWalk(walked, again) && first.paths == second.paths && first.hashes == second.hashes,
            "a second walk sees what the first saw");
    return 0;
}
