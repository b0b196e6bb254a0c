#pragma once

#include "Terminal.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace a3::cli {

// What a value on the command line must be. The parser checks every value
// against its kind, so a command gets only values it can use.
enum class ValueKind
{
    Text,
    PatchNumber, // 1 to 100
    PatchList,   // patch numbers and ranges such as 3,7-9
    Paper,       // A4 or Letter, in any case
    Rate,        // bytes per second at which a dump can be sent
    Seconds,     // a time above 0, up to a day
    PacketSize,  // bytes of a dump in one packet: 16 up to a whole dump
};

// A checked value: the text as given (a paper as its canonical name), for
// patch numbers and lists the zero-based rows, ascending, each once, and for
// rates and times their number.
struct Value
{
    std::string text;
    std::vector<std::int64_t> rows;
    double number = 0;
};

struct OperandDefinition
{
    std::string_view name; // as the help shows it: "FILE"
    ValueKind kind = ValueKind::Text;
    bool repeats = false;  // one or more: "FILE..."
    bool optional = false; // with repeats, zero or more: "[DIR...]"
};

struct OptionDefinition
{
    std::string_view name;      // "-o"
    std::string_view alias;     // "--output", or empty
    std::string_view valueName; // "OUTFILE"; empty for a flag
    ValueKind kind = ValueKind::Text;
    bool required = false;
    std::string_view help; // its lines in the command's help, separated by newlines
    bool repeats = false;  // may be given more than once: "[--add TAG]..."
};

// The values of one command line, by operand or option name.
class Arguments
{
public:
    void add(std::string_view name, Value value);
    bool has(std::string_view name) const;
    // The value given once under name (an empty text when there is none).
    const Value& one(std::string_view name) const;
    // Every value given under name, in order.
    std::span<const Value> all(std::string_view name) const;

private:
    std::map<std::string, std::vector<Value>, std::less<>> _values;
};

struct CommandDefinition
{
    std::string_view name;
    std::vector<OperandDefinition> operands;
    std::vector<OptionDefinition> options;
    std::string_view help; // its lines, separated by newlines
    int (*run)(const Arguments& arguments);
    // The exit status when the command could not do its work, such as
    // writing its output.
    int failureStatus = kRefused;
    // What its exit statuses mean, when not what they mean for most commands.
    std::string_view exitStatus = {};
};

// "rename FILE NUMBER NAME [-o OUTFILE]"
std::string synopsis(const CommandDefinition& command);

// Parses a command's arguments (those after its name) by its definition; a usage
// error's message ("rename: NUMBER must be 1 to 100, not '0'") otherwise.
std::variant<Arguments, std::string> parseArguments(const CommandDefinition& command,
                                                    std::span<const std::string> arguments);

// Whether a command's arguments ask for its help: --help among them, before
// any "--". It wins over whatever else the line holds, right or wrong.
bool asksForHelp(std::span<const std::string> arguments);

// The whole --help text: each command's synopsis and help, then the global
// options, the notes and the exit statuses.
std::string helpText(std::span<const CommandDefinition> commands);

// One command's help (a3bank COMMAND --help): its usage, its help, each of its
// options with its own help, and its exit statuses.
std::string commandHelpText(const CommandDefinition& command);

} // namespace a3::cli
