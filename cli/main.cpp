#include "Commands.h"
#include "EndingSignals.h"
#include "StandardOutput.h"
#include "Terminal.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#ifndef A3_VERSION
#define A3_VERSION "unknown"
#endif

namespace {

using namespace a3::cli;
using Commands = std::vector<CommandDefinition>;

// a3bank --help, -h or help, followed by nothing or by a COMMAND.
int showHelp(std::span<const std::string> arguments, const Commands& commands)
{
    if (arguments.empty()) {
        std::cout << helpText(commands);
        return kSuccess;
    }
    if (arguments.size() > 1) {
        return usageError("help: expected [COMMAND]");
    }
    const auto command = std::ranges::find(commands, arguments.front(), &CommandDefinition::name);
    if (command == commands.end()) {
        return usageError("unknown command " + quotedText(arguments.front()));
    }
    std::cout << commandHelpText(*command);
    return kSuccess;
}

int run(const std::vector<std::string>& arguments, const Commands& commands,
        Commands::const_iterator command)
{
    if (arguments.empty()) {
        return usageError("no command given");
    }
    const std::string& name = arguments.front();
    const auto rest = std::span(arguments).subspan(1);
    if (name == "--help" || name == "-h" || name == "help") {
        return showHelp(rest, commands);
    }
    if (name == "--version") {
        std::cout << "a3bank " << A3_VERSION << '\n';
        return kSuccess;
    }
    if (command == commands.end()) {
        return usageError("unknown command " + quotedText(name));
    }
    // Answered here, so that the programs a3bank hands over to never see it.
    if (asksForHelp(rest)) {
        std::cout << commandHelpText(*command);
        return kSuccess;
    }
    auto parsed = parseArguments(*command, rest);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        return usageError(*error);
    }
    return command->run(std::get<Arguments>(parsed));
}

} // namespace

int main(int argc, char** argv)
{
    a3::removeTemporaryFilesOnEndingSignals();
    StandardOutput output;
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const Commands commands = commandTable();
    const auto command = std::ranges::find_if(commands, [&](const CommandDefinition& definition) {
        return !arguments.empty() && definition.name == arguments.front();
    });
    const int status = run(arguments, commands, command);
    return output.close(status, command == commands.end() ? kRefused : command->failureStatus);
}
