#include "Commands.h"
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

int run(const std::vector<std::string>& arguments, const std::vector<CommandDefinition>& commands,
        std::vector<CommandDefinition>::const_iterator command)
{
    if (arguments.empty()) {
        return usageError("no command given");
    }
    const std::string& name = arguments.front();
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << helpText(commands);
        return kSuccess;
    }
    if (name == "--version") {
        std::cout << "a3bank " << A3_VERSION << '\n';
        return kSuccess;
    }
    if (command == commands.end()) {
        return usageError("unknown command " + quotedText(name));
    }
    auto parsed = parseArguments(*command, std::span(arguments).subspan(1));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        return usageError(*error);
    }
    return command->run(std::get<Arguments>(parsed));
}

} // namespace

int main(int argc, char** argv)
{
    StandardOutput output;
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const std::vector<CommandDefinition> commands = commandTable();
    const auto command = std::ranges::find_if(commands, [&](const CommandDefinition& definition) {
        return !arguments.empty() && definition.name == arguments.front();
    });
    const int status = run(arguments, commands, command);
    return output.close(status, command == commands.end() ? kRefused : command->failureStatus);
}
