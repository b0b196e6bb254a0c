// a3bank's MIDI helper: `a3bank ports`, `send` and `receive` check their
// command line, then become this program, which alone of a3bank's programs
// loads the MIDI libraries.
//
// Usage (from a3bank only): a3bank-midi COMMAND ARGUMENTS, a device command
// line as a3bank's command table takes it.

#include "Commands.h"
#include "DeviceCommands.h"
#include "EndingSignals.h"
#include "StandardOutput.h"
#include "Terminal.h"

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace a3::cli;

struct DeviceWork
{
    std::string_view command;
    int (*run)(const Arguments& arguments);
};

constexpr DeviceWork kWork[] = {{"ports", listPorts}, {"send", sendBank}, {"receive", receiveBank}};

} // namespace

int main(int argc, char** argv)
{
    // SIGINT reaches the handlers only when no InterruptStop takes it, such
    // as while receive writes its file.
    a3::removeTemporaryFilesOnEndingSignals();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::vector<CommandDefinition> commands = commandTable();
    const auto name = arguments.empty() ? std::string() : arguments.front();
    const auto work = std::ranges::find(kWork, name, &DeviceWork::command);
    const auto command = std::ranges::find_if(
        commands, [&](const CommandDefinition& definition) { return definition.name == name; });
    if (work == std::end(kWork) || command == commands.end()) {
        return usageError("the MIDI helper is started by 'a3bank ports', 'send' and 'receive'");
    }
    auto parsed = parseArguments(*command, std::span(arguments).subspan(1));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        return usageError(*error);
    }
    StandardOutput output;
    return output.close(work->run(std::get<Arguments>(parsed)), command->failureStatus);
}
