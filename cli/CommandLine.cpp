#include "CommandLine.h"

#include "A3AllData.h"
#include "MidiFileWriter.h"
#include "PacedSender.h"
#include "Terminal.h"

#include <algorithm>
#include <charconv>

namespace a3::cli {
namespace {

constexpr std::size_t kHelpColumn = 33;
constexpr std::size_t kHelpWidth = 75;
constexpr double kLongestSeconds = 24 * 60 * 60;
constexpr std::string_view kUsualExitStatus =
    "0 success, 1 a file was refused or not written, a transfer failed or the output could "
    "not be written, 2 a usage error";

// A number written in decimal digits alone, or nothing.
std::optional<std::size_t> wholeNumber(std::string_view text)
{
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

// A patch number from 1 to 100, or nothing when the text is none.
std::optional<std::int64_t> patchNumber(std::string_view text)
{
    const std::optional<std::size_t> number = wholeNumber(text);
    if (!number || *number < 1 || *number > kPatchCount) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*number);
}

// "3,7-9" as the rows 2, 6, 7, 8.
std::optional<std::vector<std::int64_t>> patchList(std::string_view list)
{
    std::vector<std::int64_t> rows;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view item = list.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const auto first = patchNumber(item.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : patchNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first) {
            return std::nullopt;
        }
        for (std::int64_t number = *first; number <= *last; ++number) {
            rows.push_back(number - 1);
        }
        start = comma + 1;
    }
    std::ranges::sort(rows);
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// A decimal number, such as 31250 or 0.5; nothing when the text is none.
std::optional<double> decimalNumber(std::string_view text)
{
    double number = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), number, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The value of a text of this kind; nothing when the text is not one.
std::optional<Value> checkedValue(ValueKind kind, const std::string& text)
{
    switch (kind) {
    case ValueKind::Text:
        return Value{text, {}};
    case ValueKind::PatchNumber:
        if (const auto number = patchNumber(text)) {
            return Value{text, {*number - 1}};
        }
        return std::nullopt;
    case ValueKind::PatchList:
        if (auto rows = patchList(text)) {
            return Value{text, *std::move(rows)};
        }
        return std::nullopt;
    case ValueKind::Paper:
        for (const char* paper : {"A4", "Letter"}) {
            if (equalsIgnoringCase(text, paper)) {
                return Value{paper, {}};
            }
        }
        return std::nullopt;
    case ValueKind::Rate:
        if (const auto rate = decimalNumber(text); rate && midi::isSendingRate(*rate)) {
            return Value{text, {}, *rate};
        }
        return std::nullopt;
    case ValueKind::Seconds:
        if (const auto seconds = decimalNumber(text);
            seconds && *seconds > 0 && *seconds <= kLongestSeconds) {
            return Value{text, {}, *seconds};
        }
        return std::nullopt;
    case ValueKind::PacketSize:
        if (const auto bytes = wholeNumber(text);
            bytes && *bytes >= kSmallestMidiFilePacket && *bytes <= kAllDataFileSize) {
            return Value{text, {}, static_cast<double>(*bytes)};
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::string kindDescription(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Text:
        break;
    case ValueKind::PatchNumber:
        return "1 to 100";
    case ValueKind::PatchList:
        return "patch numbers 1 to 100 such as 3,7-9";
    case ValueKind::Paper:
        return "A4 or Letter";
    case ValueKind::Rate:
        return "bytes per second above 0 and at most " +
               std::to_string(static_cast<int>(midi::kFastestRate));
    case ValueKind::Seconds:
        return "seconds above 0 and at most " + std::to_string(static_cast<int>(kLongestSeconds));
    case ValueKind::PacketSize:
        return "bytes from " + std::to_string(kSmallestMidiFilePacket) + " to " +
               std::to_string(kAllDataFileSize);
    }
    return "text";
}

std::string optionSynopsis(const OptionDefinition& option)
{
    std::string text(option.name);
    if (!option.valueName.empty()) {
        text += ' ';
        text += option.valueName;
    }
    text = option.required ? text : '[' + text + ']';
    return option.repeats ? text + "..." : text;
}

const OptionDefinition* findOption(const CommandDefinition& command, std::string_view argument)
{
    const auto found = std::ranges::find_if(command.options, [&](const OptionDefinition& option) {
        return argument == option.name || (!option.alias.empty() && argument == option.alias);
    });
    return found == command.options.end() ? nullptr : &*found;
}

// "FILE", "FILE..." or "[DIR...]".
std::string operandSynopsis(const OperandDefinition& operand)
{
    const std::string text = std::string(operand.name) + (operand.repeats ? "..." : "");
    return operand.optional ? '[' + text + ']' : text;
}

// A word that begins with a dash is an option, but for a lone dash, which
// other tools take as a name too.
bool looksLikeOption(std::string_view argument)
{
    return argument.size() > 1 && argument.front() == '-';
}

class Parser
{
public:
    Parser(const CommandDefinition& command)
        : _command(command)
    {}

    std::variant<Arguments, std::string> parse(std::span<const std::string> arguments)
    {
        std::vector<std::string> operands;
        bool optionsEnded = false;
        for (std::size_t k = 0; k < arguments.size(); ++k) {
            const std::string& argument = arguments[k];
            const OptionDefinition* option =
                optionsEnded ? nullptr : findOption(_command, argument);
            if (!optionsEnded && argument == "--") {
                optionsEnded = true;
            } else if (!option && !optionsEnded && looksLikeOption(argument)) {
                return error("unknown option " + quotedText(argument));
            } else if (!option) {
                operands.push_back(argument);
            } else if (_arguments.has(option->name) && !option->repeats) {
                return error(std::string(option->name) + " given twice");
            } else if (option->valueName.empty()) {
                _arguments.add(option->name, {});
            } else if (k + 1 == arguments.size()) {
                return error(std::string(option->name) + " needs " +
                             std::string(option->valueName));
            } else if (!take(option->name, option->kind, arguments[++k])) {
                return _error;
            }
        }
        if (!countsFit(operands.size()) || !requiredOptionsGiven()) {
            return error("expected " + expectedSynopsis());
        }
        auto operand = operands.begin();
        for (const OperandDefinition& definition : _command.operands) {
            const std::size_t count =
                definition.repeats ? operands.size() - _command.operands.size() + 1 : 1;
            for (std::size_t k = 0; k < count; ++k, ++operand) {
                if (!take(definition.name, definition.kind, *operand)) {
                    return _error;
                }
            }
        }
        return std::move(_arguments);
    }

private:
    std::string error(const std::string& message)
    {
        _error = std::string(_command.name) + ": " + message;
        return _error;
    }

    bool take(std::string_view name, ValueKind kind, const std::string& text)
    {
        std::optional<Value> value = checkedValue(kind, text);
        if (!value) {
            error(std::string(name) + " must be " + kindDescription(kind) + ", not " +
                  quotedText(text));
            return false;
        }
        _arguments.add(name, *std::move(value));
        return true;
    }

    bool countsFit(std::size_t count) const
    {
        const bool repeats = std::ranges::any_of(_command.operands, &OperandDefinition::repeats);
        const auto required = static_cast<std::size_t>(
            std::ranges::count(_command.operands, false, &OperandDefinition::optional));
        return repeats ? count >= required : count == _command.operands.size();
    }

    bool requiredOptionsGiven() const
    {
        return std::ranges::all_of(_command.options, [this](const OptionDefinition& option) {
            return !option.required || _arguments.has(option.name);
        });
    }

    // The operands and required options, as an error shows what was expected.
    std::string expectedSynopsis() const
    {
        std::string text;
        for (const OperandDefinition& operand : _command.operands) {
            text += (text.empty() ? "" : " ") + operandSynopsis(operand);
        }
        for (const OptionDefinition& option : _command.options) {
            if (option.required) {
                text += ' ' + optionSynopsis(option);
            }
        }
        return text;
    }

    const CommandDefinition& _command;
    Arguments _arguments;
    std::string _error;
};

} // namespace

void Arguments::add(std::string_view name, Value value)
{
    _values[std::string(name)].push_back(std::move(value));
}

bool Arguments::has(std::string_view name) const
{
    return _values.find(name) != _values.end();
}

const Value& Arguments::one(std::string_view name) const
{
    static const Value none;
    const auto found = _values.find(name);
    return found == _values.end() ? none : found->second.front();
}

std::span<const Value> Arguments::all(std::string_view name) const
{
    const auto found = _values.find(name);
    return found == _values.end() ? std::span<const Value>() : std::span(found->second);
}

std::string synopsis(const CommandDefinition& command)
{
    std::string text(command.name);
    for (const OperandDefinition& operand : command.operands) {
        text += ' ' + operandSynopsis(operand);
    }
    for (const OptionDefinition& option : command.options) {
        text += ' ' + optionSynopsis(option);
    }
    return text;
}

std::variant<Arguments, std::string> parseArguments(const CommandDefinition& command,
                                                    std::span<const std::string> arguments)
{
    return Parser(command).parse(arguments);
}

namespace {

// "  SYNOPSIS   help", the help beside a short synopsis and below a long one,
// every further line of it in the same column.
std::string helpEntry(const std::string& title, std::string_view help)
{
    std::string entry = "  " + title;
    std::size_t column = entry.size();
    std::size_t start = 0;
    while (start <= help.size()) {
        const std::size_t end = std::min(help.find('\n', start), help.size());
        if (column + 1 > kHelpColumn) {
            entry += '\n';
            column = 0;
        }
        entry += std::string(kHelpColumn - column, ' ');
        entry += help.substr(start, end - start);
        entry += '\n';
        column = 0;
        start = end + 1;
    }
    return entry;
}

// The words of text in lines of at most width characters, broken between
// words.
std::string wrapped(std::string_view text, std::size_t width)
{
    std::string lines;
    std::size_t lineStart = 0;
    while (!text.empty()) {
        const std::size_t wordEnd = std::min(text.find(' '), text.size());
        if (lines.size() > lineStart && lines.size() - lineStart + 1 + wordEnd > width) {
            lines += '\n';
            lineStart = lines.size();
        } else if (lines.size() > lineStart) {
            lines += ' ';
        }
        lines += text.substr(0, wordEnd);
        text.remove_prefix(std::min(wordEnd + 1, text.size()));
    }
    return lines + '\n';
}

// "-o, --output OUTFILE", as an option's help names it.
std::string optionTitle(const OptionDefinition& option)
{
    std::string title(option.name);
    if (!option.alias.empty()) {
        title += ", ";
        title += option.alias;
    }
    if (!option.valueName.empty()) {
        title += ' ';
        title += option.valueName;
    }
    return title;
}

std::string_view exitStatusOf(const CommandDefinition& command)
{
    return command.exitStatus.empty() ? kUsualExitStatus : command.exitStatus;
}

} // namespace

bool asksForHelp(std::span<const std::string> arguments)
{
    const auto optionsEnd = std::ranges::find(arguments, "--");
    return std::ranges::find(arguments.begin(), optionsEnd, "--help") != optionsEnd;
}

std::string helpText(std::span<const CommandDefinition> commands)
{
    std::string text = "Usage: a3bank COMMAND [ARGUMENTS]\n\n"
                       "Reads and writes All-Data files (a bank of 100 patches and its chain "
                       "data).\n\nCommands:\n";
    for (const CommandDefinition& command : commands) {
        text += helpEntry(synopsis(command), command.help);
    }
    text += "\nEvery bank file written from a bank has both checksums recomputed (receive\n"
            "writes the dump as the device sent it), and every file written replaces\n"
            "its target only when complete. PORT is a port's whole name, or a part of\n"
            "it, in any case, that no other port's name has (a3bank ports lists them).\n"
            "Progress shows on standard error when it is a terminal. Options may come\n"
            "anywhere after the command; one that the command does not have is a usage\n"
            "error, and -- ends the options, so that a name after it may begin with -.\n"
            "\nOptions:\n";
    text += helpEntry("--help, -h, help", "show this help");
    text += helpEntry("COMMAND --help, help COMMAND", "show the command's usage, options and\n"
                                                      "exit status");
    text += helpEntry("--version", "show the version");
    std::string exitStatus = "Exit status: " + std::string(kUsualExitStatus);
    for (const CommandDefinition& command : commands) {
        if (!command.exitStatus.empty()) {
            exitStatus += "; " + std::string(command.name) + ": " + std::string(command.exitStatus);
        }
    }
    return text + '\n' + wrapped(exitStatus + '.', kHelpWidth);
}

std::string commandHelpText(const CommandDefinition& command)
{
    std::string text = "Usage: a3bank " + synopsis(command) + "\n\n" + std::string(command.help) +
                       "\n\nOptions:\n";
    for (const OptionDefinition& option : command.options) {
        text += helpEntry(optionTitle(option), option.help);
    }
    text += helpEntry("--help", "show this help");
    return text + '\n' +
           wrapped("Exit status: " + std::string(exitStatusOf(command)) + '.', kHelpWidth);
}

} // namespace a3::cli
