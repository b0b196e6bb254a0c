#include "DumpsInFile.h"

#include "AllDataFile.h"
#include "ArchiveReader.h"
#include "FileReader.h"

namespace a3 {
namespace {

std::string counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void take(DumpsInFile& into, DumpScan& scan, std::span<const std::string> members)
{
    const std::size_t there = scan.dumps.size() + scan.cutDumps.size();
    const std::vector<std::string> path(members.begin(), members.end());
    for (FoundDump& dump : scan.dumps) {
        into.dumps.push_back({{path, dump.index + 1, there}, std::move(dump.bytes)});
    }
    for (CutDump& cut : scan.cutDumps) {
        into.cutDumps.push_back({{path, cut.index + 1, there}, std::move(cut)});
    }
}

DumpsInFile dumpsInArchive(std::span<const std::uint8_t> bytes)
{
    DumpsInFile found;
    const ArchiveWalk walk = visitArchive(bytes, [&](const ArchiveMember& member) {
        DumpScan scan = scanForDumps(member.bytes);
        take(found, scan, member.path);
        return true;
    });
    const std::string archive = describeArchiveWalk(walk);
    if (found.dumps.empty()) {
        const bool moreSaid = archive.find(';') != std::string::npos;
        found.holds = archive + (moreSaid ? "; " : ", ") + "none holding an All-Data dump";
    } else {
        found.holds =
            counted(found.dumps.size(), "All-Data dump", "All-Data dumps") + " in " + archive;
    }
    if (!found.cutDumps.empty()) {
        found.holds += ". " + counted(found.cutDumps.size(), "dump is", "dumps are") + " cut short";
    }
    return found;
}

} // namespace

std::string describePlace(std::string_view fileName, const DumpPlace& place)
{
    std::string text(fileName);
    if (!place.members.empty()) {
        text += " › " + joinArchivePath(place.members);
    }
    if (place.dumpsThere > 1) {
        text += ", dump " + std::to_string(place.number);
    }
    return text;
}

std::optional<DumpToRecover> dumpToRecover(const DumpsInFile& found)
{
    if (!found.cutDumps.empty()) {
        return DumpToRecover{found.cutDumps.front().place, found.cutDumps.front().cut.bytes};
    }
    if (!found.dumps.empty()) {
        return DumpToRecover{found.dumps.front().place, found.dumps.front().bytes};
    }
    return std::nullopt;
}

DumpsInFile dumpsInBytes(std::span<const std::uint8_t> bytes)
{
    if (archiveKind(bytes).isArchive()) {
        return dumpsInArchive(bytes);
    }
    DumpScan scan = scanForDumps(bytes);
    DumpsInFile found;
    found.bareDump = scan.kind == ScannedKind::BareDump;
    // A file that is nothing else is told what keeps it from being a bank,
    // in the words a bank file has always been refused with.
    const bool nothingElse =
        scan.kind == ScannedKind::Unrecognised || bytes.size() == kAllDataFileSize;
    const Outcome asBankFile =
        scan.dumps.empty() && nothingElse ? checkAllDataFile(bytes) : Outcome{};
    found.holds = asBankFile.ok() ? describeScan(scan) : asBankFile.failure().reason;
    take(found, scan, {});
    return found;
}

Result<DumpsInFile> dumpsInFile(const std::filesystem::path& path)
{
    FileRead read = readFileBounded(path, kLargestFileScanned);
    if (read.ok()) {
        return dumpsInBytes(*read);
    }
    if (!read.failure().tooLarge()) {
        return Failure{read.failure().reason};
    }
    DumpsInFile refused;
    refused.holds = "too large to hold banks (" + std::to_string(read.failure().size) +
                    " bytes; at most " + std::to_string(kLargestFileScanned) + " are read)";
    return refused;
}

} // namespace a3
