#include "ExtractCommands.h"

#include "BankFile.h"
#include "DumpsInFile.h"
#include "MidiFileWriter.h"
#include "PatchRecovery.h"
#include "Terminal.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace a3::cli {
namespace {

// The name a dump is written under, without ".syx": its member's name or
// else its file's, without the extension, and "-2" from the second dump of
// several there on. Only the last component of a member's name counts: the
// file is written into the folder asked for, nowhere else.
std::string extractedStem(const std::filesystem::path& file, const DumpPlace& place)
{
    std::filesystem::path source = file.filename();
    if (!place.members.empty()) {
        const std::filesystem::path member = std::filesystem::path(place.members.back()).filename();
        if (!member.stem().empty() && member != "." && member != "..") {
            source = member;
        }
    }
    std::string stem = source.stem().string();
    if (stem.empty() || stem == "." || stem == "..") {
        stem = "bank";
    }
    return place.number > 1 ? stem + "-" + std::to_string(place.number) : stem;
}

void tellCuts(const std::string& name, const DumpsInFile& found)
{
    for (const CutDumpInFile& cut : found.cutDumps) {
        std::cerr << "a3bank: " << placeText(name, cut.place)
                  << ": cut short: " << describeCut(cut.cut) << '\n';
    }
}

// The dumps of a file that holds some, or why it gives none.
Result<DumpsInFile> dumpsGiven(const std::filesystem::path& path)
{
    Result<DumpsInFile> found = dumpsInFile(path);
    if (!found.ok()) {
        return Failure{"unreadable: " + found.failure().reason};
    }
    return found;
}

} // namespace

int extractCommand(const Arguments& arguments)
{
    const std::filesystem::path folder = arguments.has("-o") ? arguments.one("-o").text : ".";
    // Told once, rather than for every dump that could not be written.
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        return refuse(folder, error ? error.message() : std::strerror(ENOTDIR));
    }
    int status = kSuccess;
    for (const Value& file : arguments.all("FILE")) {
        const std::string name = givenName(file.text);
        const Result<DumpsInFile> found = dumpsGiven(file.text);
        if (!found.ok()) {
            status = refuse(file.text, found.failure().reason);
            continue;
        }
        tellCuts(name, *found);
        if (found->dumps.empty()) {
            status = refuse(file.text, found->holds);
            continue;
        }
        for (const DumpInFile& dump : found->dumps) {
            const std::string stem = extractedStem(file.text, dump.place);
            // Never over a file: a name taken gets a number, as received
            // banks do.
            const Result<NewFile> written = writeNewFile(
                folder,
                [&](int attempt) {
                    return stem + (attempt > 1 ? " " + std::to_string(attempt) : "") + ".syx";
                },
                dump.bytes);
            if (!written.ok()) {
                status = refuse(folder / (stem + ".syx"), written.failure().reason);
                continue;
            }
            // Written: at most a warning that it may not be on the disk yet.
            reportWrite(written->path, written->written);
            std::cout << placeText(name, dump.place) << '\t' << givenName(written->path) << '\n';
        }
    }
    return status;
}

int recoverCommand(const Arguments& arguments)
{
    const std::string& path = arguments.one("FILE").text;
    const std::string name = givenName(path);
    const Result<DumpsInFile> scanned = dumpsGiven(path);
    if (!scanned.ok()) {
        return refuse(path, scanned.failure().reason);
    }
    const DumpsInFile& found = *scanned;
    const std::optional<DumpToRecover> dump = dumpToRecover(found);
    if (!dump) {
        return refuse(path, found.holds);
    }
    std::optional<A3AllDataSource> factory = A3AllDataSource::fromFactoryBank(factoryBankPath());
    if (!factory) {
        std::cerr << "a3bank: warning: the factory bank is missing; the patches not recovered "
                     "are the fallback patch\n";
        factory = A3AllDataSource::fallbackBank();
    }
    RecoveredBank recovered = recoverPatches(dump->bytes, *factory);
    std::cerr << "a3bank: " << placeText(name, dump->place) << ":\n";
    for (const std::string& line : recovered.report.lines) {
        std::cerr << "  " << line << '\n';
    }
    if (recovered.report.recovered.empty()) {
        return refuse(path, "no patch could be recovered; nothing written");
    }
    const std::filesystem::path out = arguments.one("-o").text;
    return reportWrite(out, saveBank(recovered.bank, out));
}

int exportCommand(const Arguments& arguments)
{
    const std::string& path = arguments.one("FILE").text;
    Result<A3AllDataSource> loaded = loadOneDump(path);
    if (!loaded.ok()) {
        return refuse(path, loaded.failure().reason);
    }
    A3AllDataSource& bank = *loaded;
    MidiFileOptions options;
    if (arguments.has("--packet")) {
        options.packetSize = static_cast<std::size_t>(arguments.one("--packet").number);
    }
    if (arguments.has("--rate")) {
        options.bytesPerSecond = arguments.one("--rate").number;
    }
    // As saving writes the bank, so the device takes what the file plays.
    const std::vector<std::uint8_t> dump = bank.syxData();
    const std::vector<std::uint8_t> midiFile =
        midiFileOfDump(std::span<const std::uint8_t, kAllDataFileSize>(dump), options);
    const std::filesystem::path out = arguments.one("-o").text;
    return reportWrite(out, writeFileAtomically(out, midiFile));
}

} // namespace a3::cli
