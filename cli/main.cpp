#include "Commands.h"
#include "Terminal.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#ifndef A3_VERSION
#define A3_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    using namespace a3::cli;
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.empty()) {
        return usageError("no command given");
    }
    const std::string& name = arguments.front();
    const std::vector<CommandDefinition> commands = commandTable();
    if (name == "--help" || name == "-h" || name == "help") {
        std::cout << helpText(commands);
        return kSuccess;
    }
    if (name == "--version") {
        std::cout << "a3bank " << A3_VERSION << '\n';
        return kSuccess;
    }
    const auto command = std::ranges::find_if(
        commands, [&](const CommandDefinition& definition) { return definition.name == name; });
    if (command == commands.end()) {
        return usageError("unknown command " + quotedText(name));
    }
    auto parsed = parseArguments(*command, std::span(arguments).subspan(1));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        return usageError(*error);
    }
    return command->run(std::get<Arguments>(parsed));
}
