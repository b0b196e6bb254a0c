#include "DeviceCommands.h"

#include "AllDataFile.h"
#include "AtomicFile.h"
#include "BankFile.h"
#include "DumpReceiver.h"
#include "InterruptStop.h"
#include "PacedSender.h"
#include "PortMatch.h"
#include "ProgressLine.h"
#include "RtMidiTransport.h"
#include "Terminal.h"

#include <cmath>
#include <functional>
#include <iostream>
#include <optional>

namespace a3::cli {
namespace {

using midi::MidiPort;
using midi::TransferProgress;
using midi::TransferResult;

constexpr char kClientName[] = "a3bank";

// The MIDI layer's messages name ports as they are, which another program
// may have given control characters.
int midiFailure(const std::string& message, const std::string& port = {})
{
    std::cerr << terminalMessage(message, port) << '\n';
    return kRefused;
}

// Runs a command's work on the MIDI system, which reports its failures,
// such as there being none, by throwing.
int withMidiSystem(const std::function<int(midi::MidiTransport&)>& work)
{
    try {
        const auto transport = midi::openMidiSystem(kClientName);
        return work(*transport);
    } catch (const std::exception& error) { // MidiError, or RtMidi's own
        return midiFailure(error.what());
    }
}

// The one port that the user's PORT means among those of a direction
// ("input" or "output"); otherwise says why, lists the ports and gives
// nothing.
std::optional<std::string> chosenPort(const std::vector<MidiPort>& ports, const std::string& wanted,
                                      const std::string& direction)
{
    const std::vector<MidiPort> matches = midi::portsMatching(ports, wanted);
    if (matches.size() == 1) {
        return matches.front().name;
    }
    std::cerr << "a3bank: "
              << (matches.empty() ? "no MIDI " + direction + " matches " + quotedText(wanted)
                                  : quotedText(wanted) + " matches " +
                                        std::to_string(matches.size()) + " MIDI " + direction + "s")
              << "; the MIDI " << direction << "s are:\n";
    for (const MidiPort& port : ports) {
        std::cerr << "  " << terminalText(port.name) << '\n';
    }
    if (ports.empty()) {
        std::cerr << "  (none)\n";
    }
    return std::nullopt;
}

long long wholeSecondsUp(std::chrono::milliseconds time)
{
    return (time.count() + 999) / 1000;
}

// "Sending: 2048 of 29198 bytes (7 %), 9 s left"
std::string transferProgress(const std::string& doing, const TransferProgress& progress,
                             std::size_t total)
{
    return doing + ": " + std::to_string(progress.bytes) + " of " + std::to_string(total) +
           " bytes (" + std::to_string(progress.bytes * 100 / total) + " %), " +
           std::to_string(wholeSecondsUp(progress.remaining)) + " s left";
}

// How long it has waited for the dump, then how far the dump has come.
std::string receivingProgress(const TransferProgress& progress)
{
    if (progress.bytes > 0) {
        return transferProgress("Receiving", progress, kAllDataFileSize);
    }
    return "Waiting for an All-Data dump: " + std::to_string(progress.elapsed.count() / 1000) +
           " s, time-out in " + std::to_string(wholeSecondsUp(progress.remaining)) + " s";
}

std::chrono::milliseconds timeoutOf(const Arguments& arguments)
{
    if (!arguments.has("--timeout")) {
        return kReceiveTimeout;
    }
    return std::chrono::milliseconds(
        std::llround(std::ceil(arguments.one("--timeout").number * 1000)));
}

// The next dump that arrives at the input the user's port names, or nothing
// when none did, having said why. Ctrl+C asks the wait to stop until it
// returns; from then on it ends the program, as while the dump is written.
std::optional<std::vector<std::uint8_t>> receivedDump(const std::string& wantedPort,
                                                      std::chrono::milliseconds timeout)
{
    const InterruptStop interrupt; // before the MIDI system starts its threads
    std::vector<std::uint8_t> dump;
    const int status = withMidiSystem([&](midi::MidiTransport& transport) {
        const auto port = chosenPort(transport.inputPorts(), wantedPort, "input");
        if (!port) {
            return kRefused;
        }
        TransferResult result;
        {
            ProgressLine line;
            result = midi::receiveDump(
                transport, *port, timeout, interrupt.token(),
                [&](const TransferProgress& progress) { line.show(receivingProgress(progress)); });
        }
        if (!result.done()) {
            return midiFailure(result.message, *port);
        }
        dump = std::move(result.dump);
        return kSuccess;
    });
    if (status != kSuccess) {
        return std::nullopt;
    }
    return dump;
}

} // namespace

int listPorts(const Arguments&)
{
    return withMidiSystem([](midi::MidiTransport& transport) {
        for (const auto& [direction, ports] : {std::pair{"input", transport.inputPorts()},
                                               std::pair{"output", transport.outputPorts()}}) {
            for (const MidiPort& port : ports) {
                std::cout << direction << '\t' << midi::nameOf(port.system) << '\t'
                          << terminalText(port.name) << '\n';
            }
        }
        return kSuccess;
    });
}

int sendBank(const Arguments& arguments)
{
    const std::string& path = arguments.one("FILE").text;
    Result<A3AllDataSource> loaded = loadOneDump(path);
    if (!loaded.ok()) {
        return refuse(path, loaded.failure().reason);
    }
    A3AllDataSource& bank = *loaded;
    const std::vector<std::uint8_t> dump = bank.syxData(); // as saving writes it
    const double rate = arguments.has("--rate") ? arguments.one("--rate").number : midi::kWireSpeed;
    const InterruptStop interrupt; // before the MIDI system starts its threads
    return withMidiSystem([&](midi::MidiTransport& transport) {
        const auto port =
            chosenPort(transport.outputPorts(), arguments.one("--port").text, "output");
        if (!port) {
            return kRefused;
        }
        TransferResult result;
        {
            ProgressLine line;
            result = midi::sendDump(
                transport, *port, dump, interrupt.token(),
                [&](const TransferProgress& progress) {
                    line.show(transferProgress("Sending", progress, dump.size()));
                },
                rate);
        }
        return result.done() ? kSuccess : midiFailure(result.message, *port);
    });
}

int receiveBank(const Arguments& arguments)
{
    const std::filesystem::path out = arguments.one("OUT").text;
    // Asked before waiting: a dump received but then not written is lost.
    if (const Outcome writable = checkFileCanBeWritten(out); !writable.ok()) {
        return refuse(out, writable.failure().reason);
    }
    const std::optional<std::vector<std::uint8_t>> dump =
        receivedDump(arguments.one("--port").text, timeoutOf(arguments));
    if (!dump) {
        return kRefused;
    }
    // Kept as it came: its checksums are the only sign of a byte damaged on
    // the way, which recomputing them would hide.
    const int status = reportWrite(out, writeFileAtomically(out, *dump));
    if (status != kSuccess) {
        return status;
    }
    for (const std::string& defect : toleratedDefects(*dump)) {
        std::cerr << "a3bank: " << givenName(out) << ": warning: " << defect << '\n';
    }
    return kSuccess;
}

} // namespace a3::cli
