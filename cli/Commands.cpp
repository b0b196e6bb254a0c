#include "Commands.h"

#include "AllDataFile.h"
#include "BankDiff.h"
#include "BankFile.h"
#include "DumpsInFile.h"
#include "ExtractCommands.h"
#include "FindCommand.h"
#include "HelperPrograms.h"
#include "PatchBlock.h"
#include "PatchText.h"
#include "SoundCommands.h"
#include "Terminal.h"
#include "Utf8.h"

#include <iostream>

namespace a3::cli {
namespace {

int listCommand(const Arguments& arguments)
{
    int status = kSuccess;
    bool first = true;
    for (const Value& file : arguments.all("FILE")) {
        const Result<A3AllDataSource> bank = loadOneDump(file.text);
        if (!bank.ok()) {
            status = refuse(file.text, bank.failure().reason);
            continue;
        }
        std::cout << (first ? "" : "\n") << textListing(*bank, displayName(file.text));
        first = false;
    }
    return status;
}

// A bare dump is "ok", as ever; any other file says what it holds, and its
// dumps' defects are told by their places.
int checkCommand(const Arguments& arguments)
{
    int status = kSuccess;
    for (const Value& file : arguments.all("FILE")) {
        const std::string name = givenName(file.text);
        const Result<DumpsInFile> found = dumpsInFile(file.text);
        if (!found.ok() || found->dumps.empty()) {
            std::cout << name << ": rejected: "
                      << (found.ok() ? found->holds : "unreadable: " + found.failure().reason)
                      << '\n';
            status = kRefused;
            continue;
        }
        std::cout << name << ": " << (found->bareDump ? "ok" : found->holds) << '\n';
        for (const DumpInFile& dump : found->dumps) {
            const std::string place = placeText(name, dump.place);
            for (const auto& defect : toleratedDefects(dump.bytes)) {
                std::cout << place << ": warning: " << defect << '\n';
            }
        }
    }
    return status;
}

int newCommand(const Arguments& arguments)
{
    const std::filesystem::path path = arguments.one("OUTFILE").text;
    std::error_code error;
    if (!arguments.has("--force") &&
        std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        return refuse(path, "already exists (use --force to replace it)");
    }
    std::optional<A3AllDataSource> bank = A3AllDataSource::fromFactoryBank(factoryBankPath());
    if (!bank) {
        std::cerr << "a3bank: warning: the factory bank is missing; every patch of the new bank "
                     "is the fallback patch\n";
        bank = A3AllDataSource::fallbackBank();
    }
    return reportWrite(path, saveBank(*bank, path));
}

// Where a changed bank goes: the -o file, or else the bank's own file.
std::filesystem::path outputOf(const Arguments& arguments, const std::string& bankFile)
{
    return arguments.has("-o") ? arguments.one("-o").text : bankFile;
}

int renameCommand(const Arguments& arguments)
{
    const std::string& path = arguments.one("FILE").text;
    Result<A3AllDataSource> bank = loadBank(path);
    if (!bank.ok()) {
        return refuse(path, bank.failure().reason);
    }
    bank->setPatchName(utf16FromUtf8(arguments.one("NAME").text),
                       arguments.one("NUMBER").rows.front());
    const auto target = outputOf(arguments, path);
    return reportWrite(target, saveBank(*bank, target));
}

int copyCommand(const Arguments& arguments)
{
    const std::string& sourcePath = arguments.one("SRC").text;
    const std::string& targetPath = arguments.one("DST").text;
    const std::vector<std::int64_t>& rows = arguments.one("NUMBERS").rows;
    const std::int64_t firstRow = arguments.one("NUMBER").rows.front();

    const Result<A3AllDataSource> loadedSource = loadBank(sourcePath);
    if (!loadedSource.ok()) {
        return refuse(sourcePath, loadedSource.failure().reason);
    }
    Result<A3AllDataSource> loadedTarget = loadBank(targetPath);
    if (!loadedTarget.ok()) {
        return refuse(targetPath, loadedTarget.failure().reason);
    }
    const A3AllDataSource& source = *loadedSource;
    A3AllDataSource& target = *loadedTarget;
    const PatchPayload payload = patchPayload(source, rows);
    if (!patchesFitBank(payload.refersToChainData, source.chainChecksum(),
                        target.chainChecksum())) {
        return refuse(targetPath,
                      "patches using chain data (C0 and up) need the same chain ID; " +
                          givenName(sourcePath) + " has " + chainId(source.chainChecksum()) + ", " +
                          givenName(targetPath) + " has " + chainId(target.chainChecksum()));
    }
    if (!writePatchBlock(target, payload.bytes, firstRow)) {
        return refuse(targetPath, std::to_string(rows.size()) + " patches from patch " +
                                      std::to_string(firstRow + 1) + " would run past patch 100");
    }
    const auto written = outputOf(arguments, targetPath);
    return reportWrite(written, saveBank(target, written));
}

// Checked here, without Qt, so that a refused bank costs no start of the
// renderer; the renderer reads the file again for itself.
int pdfCommand(const Arguments& arguments)
{
    const std::string& path = arguments.one("FILE").text;
    if (const Result<A3AllDataSource> bank = loadBank(path); !bank.ok()) {
        return refuse(path, bank.failure().reason);
    }
    return runPdfRenderer({path, arguments.one("-o").text, arguments.one("--paper").text});
}

// One line for each difference, its fields separated by tabs: "chain" when
// the chain data differs, then "patch", number, name in A, name in B and the
// differing byte offsets ("9,10") of each patch that differs.
std::string differenceLines(const BankDifference& difference)
{
    std::string lines = difference.chainDataDiffers ? "chain\n" : "";
    for (const PatchDifference& patch : difference.patches) {
        std::string offsets;
        for (const std::size_t offset : patch.offsets) {
            offsets += (offsets.empty() ? "" : ",") + std::to_string(offset);
        }
        lines += "patch\t" + std::to_string(patch.number) + '\t' + printablePatchName(patch.nameA) +
                 '\t' + printablePatchName(patch.nameB) + '\t' + offsets + '\n';
    }
    return lines;
}

int diffCommand(const Arguments& arguments)
{
    std::vector<A3AllDataSource> banks;
    for (const char* name : {"A", "B"}) {
        const std::string& path = arguments.one(name).text;
        if (Result<A3AllDataSource> bank = loadOneDump(path); bank.ok()) {
            banks.push_back(*std::move(bank));
        } else {
            refuse(path, bank.failure().reason);
        }
    }
    if (banks.size() != 2) {
        return kCannotCompare;
    }
    const BankDifference difference = compareBanks(banks[0], banks[1]);
    std::cout << differenceLines(difference);
    return difference.identical() ? kSuccess : kBanksDiffer;
}

// The device commands run in the MIDI helper, which checks their command
// line again by this table: the options given, then after "--" the operand,
// whatever it looks like.
int inMidiHelper(const std::string& command, const Arguments& arguments,
                 std::initializer_list<std::string_view> options, std::string_view operand = {})
{
    std::vector<std::string> commandLine{command};
    for (const std::string_view option : options) {
        if (arguments.has(option)) {
            commandLine.insert(commandLine.end(),
                               {std::string(option), arguments.one(option).text});
        }
    }
    if (!operand.empty()) {
        commandLine.insert(commandLine.end(), {"--", arguments.one(operand).text});
    }
    return runMidiHelper(commandLine);
}

int portsCommand(const Arguments& arguments)
{
    return inMidiHelper("ports", arguments, {});
}

int sendCommand(const Arguments& arguments)
{
    return inMidiHelper("send", arguments, {"--port", "--rate"}, "FILE");
}

int receiveCommand(const Arguments& arguments)
{
    return inMidiHelper("receive", arguments, {"--port", "--timeout"}, "OUT");
}

} // namespace

std::vector<CommandDefinition> commandTable()
{
    const auto flag = [](std::string_view name, std::string_view help) {
        return OptionDefinition{name, {}, {}, ValueKind::Text, false, help};
    };
    // Where a command that changes a bank writes it.
    const auto output = [](std::string_view help) {
        return OptionDefinition{"-o", "--output", "OUTFILE", ValueKind::Text, false, help};
    };
    const auto port = [](std::string_view help) {
        return OptionDefinition{"--port", {}, "PORT", ValueKind::Text, true, help};
    };
    return {
        {"list",
         {{"FILE", ValueKind::Text, true}},
         {},
         "print each bank's patches as text",
         listCommand},
        {"check",
         {{"FILE", ValueKind::Text, true}},
         {},
         "tell what each file holds: \"ok\" for an\n"
         "All-Data file, the dumps found in any other\n"
         "(a MIDI file, MIDI messages, hex text, an\n"
         "archive), or why it holds none",
         checkCommand},
        {"extract",
         {{"FILE", ValueKind::Text, true}},
         {{"-o", "--output", "DIR", ValueKind::Text, false,
           "write into DIR instead of the current folder"}},
         "write every All-Data dump found in each FILE\n"
         "as a file of its own, byte for byte, named\n"
         "after its file or archive member (song.syx,\n"
         "song-2.syx for the second of several), never\n"
         "over a file (a taken name gets a number); one\n"
         "line each: where it was found and the file\n"
         "written, separated by a tab",
         extractCommand},
        {"recover",
         {{"FILE"}},
         {{"-o", "--output", "OUT.syx", ValueKind::Text, true, "the bank file to write"}},
         "rescue the patches of a dump cut short or with\n"
         "bytes that are not nibbles: a bank made from\n"
         "the factory bank with each patch that arrived\n"
         "whole and clean in its slot; the report goes to\n"
         "standard error",
         recoverCommand,
         kRefused,
         "0 a patch recovered and written, 1 none recovered (nothing written), the file refused or "
         "the output not written, 2 a usage error"},
        {"export",
         {{"FILE"}},
         {{"-o", "--output", "OUT.mid", ValueKind::Text, true, "the MIDI file to write"},
          {"--packet",
           {},
           "BYTES",
           ValueKind::PacketSize,
           false,
           "split the dump into packets of this many\nbytes (16 to 29198), each timed to start\n"
           "when the one before has gone out"},
          {"--rate",
           {},
           "BYTES_PER_S",
           ValueKind::Rate,
           false,
           "time the packets at this many bytes a second\ninstead of MIDI's 3125"}},
         "write the bank as a Standard MIDI File that a\n"
         "sequencer or a DAW plays into the device: the\n"
         "dump as one SysEx event at time zero, or in\n"
         "timed packets",
         exportCommand},
        {"new",
         {{"OUTFILE"}},
         {flag("--force",
               "replace OUTFILE when it exists; without it\nan existing file is refused")},
         "write a new bank made from the factory bank",
         newCommand},
        {"rename",
         {{"FILE"}, {"NUMBER", ValueKind::PatchNumber}, {"NAME"}},
         {output("write the changed bank to OUTFILE and leave\nFILE as it is")},
         "rename patch NUMBER (1 to 100)",
         renameCommand},
        {"copy",
         {{"SRC"}, {"NUMBERS", ValueKind::PatchList}, {"DST"}, {"NUMBER", ValueKind::PatchNumber}},
         {output("write the changed bank to OUTFILE and leave\nDST as it is")},
         "copy patches NUMBERS of SRC (such as 3,7-9) onto\nDST from patch NUMBER down",
         copyCommand},
        {"pdf",
         {{"FILE"}},
         {{"-o", "--output", "OUT.pdf", ValueKind::Text, true, "the PDF file to write"},
          {"--paper", {}, "A4|Letter", ValueKind::Paper, false, "the paper, in any case"}},
         "write the bank's one-page printed listing\n(default paper: the default printer's, "
         "else\nthe locale's)",
         pdfCommand},
        {"diff",
         {{"A"}, {"B"}},
         {},
         "compare two banks, one line for each difference,\n"
         "its fields separated by tabs: \"chain\" when the\n"
         "chain data differs, then for each patch that\n"
         "differs \"patch\", its number, its name in A, its\n"
         "name in B and the differing bytes of its 64\n"
         "(such as 9,10; the name is bytes 9 to 15)",
         diffCommand,
         kCannotCompare,
         "0 the same, 1 different, 2 a usage error, a file refused or unreadable, or the output "
         "not written"},
        {"find",
         {{"TEXT"}, {"DIR", ValueKind::Text, true, true}},
         {flag("--same",
               "TEXT is FILE:NUMBER: list the patches that\nhold the same sound as that one")},
         "list every patch that TEXT finds in the banks\n"
         "under each DIR (by default the app's library\n"
         "folders and received banks), those in MIDI\n"
         "files and archives too, one a line: file (for\n"
         "a bank inside one, its place there), number and\n"
         "name, separated by tabs; TEXT is one argument\n"
         "of words that the name holds, in any case, and\n"
         "filters on what was said of the sound: fav,\n"
         "fav:no, fav:undecided, rating>=N, rating<=N,\n"
         "rating=N, rating:none, tag:T, -tag:T, chain:C*,\n"
         "bank:TEXT, note:TEXT (after -- when it starts\n"
         "with -); with --same, TEXT is FILE:NUMBER of a\n"
         "file of one bank and the patches listed hold\n"
         "the same sound as that one (the same bytes but\n"
         "for the name)",
         findCommand,
         kCannotCompare,
         "0 a patch found, 1 none found, 2 a usage error, no library folders set and no DIR "
         "given, a folder unreadable, the FILE of --same unreadable or not of one bank, the "
         "sounds database unreadable, or the output not written"},
        {"tag",
         {{"FILE:NUMBER", ValueKind::Text, true}},
         {{"--fav", {}, "yes|no|undecided", ValueKind::Text, false, "whether it is a favourite"},
          {"--rating", {}, "1|2|3|4|5|none", ValueKind::Text, false, "its rating, or none"},
          {"--add",
           {},
           "TAG",
           ValueKind::Text,
           false,
           "add a tag: a word of letters, digits, -, _\nand .",
           true},
          {"--remove", {}, "TAG", ValueKind::Text, false, "remove a tag, in any case", true},
          {"--note", {}, "TEXT", ValueKind::Text, false, "its note (\"\" for none)"}},
         "say what you think of the sound of patch\n"
         "NUMBER of each FILE (a file of one bank), kept\n"
         "for that sound wherever it is and whatever its\n"
         "name, as the app's Library keeps it",
         tagCommand},
        {"sounds",
         {{"export|import"}, {"FILE", ValueKind::Text, true, true}},
         {output("with export: write to OUTFILE instead of\nstandard output")},
         "export: write what was said of every sound as\n"
         "a sounds file (JSON); import FILE: merge a\n"
         "sounds file into yours: tags are united, and\n"
         "of favourites, ratings and notes the later\n"
         "decision wins",
         soundsCommand},
        {"ports",
         {},
         {},
         "list the MIDI ports, one a line: \"input\" (to\n"
         "receive from) or \"output\" (to send to), the\n"
         "system (ALSA sequencer or JACK) and the name,\n"
         "separated by tabs",
         portsCommand},
        {"send",
         {{"FILE"}},
         {port("the MIDI output to send to"),
          {"--rate",
           {},
           "BYTES_PER_S",
           ValueKind::Rate,
           false,
           "send at this many bytes a second instead,\nabove 0 and at most 312500, for an\n"
           "interface that takes a dump faster"}},
         "send the bank to the device at PORT at MIDI's\n"
         "wire speed, 3125 bytes/s, or the rate given;\n"
         "Ctrl+C stops it after the fragment going out",
         sendCommand},
        {"receive",
         {{"OUT"}},
         {port("the MIDI input to receive from"),
          {"--timeout",
           {},
           "SECONDS",
           ValueKind::Seconds,
           false,
           "wait this long instead of 60 seconds for the\n"
           "dump to begin, above 0 and at most a day\n"
           "(86400)"}},
         "wait for an All-Data dump from PORT to begin\n"
         "(60 s unless --timeout) and write it to OUT\n"
         "as it came; Ctrl+C stops waiting",
         receiveCommand},
    };
}

} // namespace a3::cli
