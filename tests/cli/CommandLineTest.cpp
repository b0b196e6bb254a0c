// a3bank's command line, parsed in this process by the command table: each
// refused line with the usage error it gives, and what accepted lines yield;
// and how messages show the names they carry.

#include "Commands.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace a3::cli {
namespace {

// The usage error for a command line (its name first), or the parsed values.
std::variant<Arguments, std::string> parsed(const std::vector<std::string>& line)
{
    static const std::vector<CommandDefinition> commands = commandTable();
    const auto command = std::ranges::find_if(commands, [&](const CommandDefinition& definition) {
        return definition.name == line.front();
    });
    EXPECT_NE(command, commands.end()) << line.front();
    return parseArguments(*command, std::span(line).subspan(1));
}

TEST(CommandLine, RefusesEachBadLineWithItsReason)
{
    using Line = std::vector<std::string>;
    const std::string number = "rename: NUMBER must be 1 to 100, not '";
    const std::string numbers = "copy: NUMBERS must be patch numbers 1 to 100 such as 3,7-9, not '";
    const std::string rate =
        "send: --rate must be bytes per second above 0 and at most 312500, not '";
    const std::string timeout =
        "receive: --timeout must be seconds above 0 and at most 86400, not '";
    const std::pair<Line, std::string> refused[] = {
        {{"list"}, "list: expected FILE..."},
        {{"new"}, "new: expected OUTFILE"},
        {{"new", "a", "--force", "--force"}, "new: --force given twice"},
        {{"new", "a", "--forced"}, "new: unknown option '--forced'"},
        {{"rename", "a", "1", "-Drive"}, "rename: unknown option '-Drive'"},
        {{"list", "-\x1b[2J"}, "list: unknown option '-'$'\\033''[2J'"},
        {{"rename", "a", "1"}, "rename: expected FILE NUMBER NAME"},
        {{"rename", "-o"}, "rename: -o needs OUTFILE"},
        {{"rename", "a", "0", "X"}, number + "0'"},
        {{"rename", "a", "101", "X"}, number + "101'"},
        {{"rename", "a", "1x", "X"}, number + "1x'"},
        {{"rename", "a", "", "X"}, number + "'"},
        {{"rename", "a", "1\n2", "X"}, number + "1'$'\\n''2'"},
        {{"copy", "a", "1", "b"}, "copy: expected SRC NUMBERS DST NUMBER"},
        {{"copy", "a", "0", "b", "1"}, numbers + "0'"},
        {{"copy", "a", "5-3", "b", "1"}, numbers + "5-3'"},
        {{"copy", "a", "1,", "b", "1"}, numbers + "1,'"},
        {{"copy", "a", "1", "b", "101"}, "copy: NUMBER must be 1 to 100, not '101'"},
        {{"pdf", "a.syx"}, "pdf: expected FILE -o OUT.pdf"},
        {{"pdf", "a.syx", "-o"}, "pdf: -o needs OUT.pdf"},
        {{"pdf", "a.syx", "b.syx", "-o", "x.pdf"}, "pdf: expected FILE -o OUT.pdf"},
        {{"pdf", "a.syx", "-o", "x.pdf", "--paper", "B5"},
         "pdf: --paper must be A4 or Letter, not 'B5'"},
        {{"diff", "a"}, "diff: expected A B"},
        {{"ports", "a"}, "ports: expected "},
        {{"send", "a.syx"}, "send: expected FILE --port PORT"},
        {{"send", "a.syx", "--port", "A3", "--rate", "0"}, rate + "0'"},
        {{"send", "a.syx", "--port", "A3", "--rate", "312500.5"}, rate + "312500.5'"},
        {{"send", "a.syx", "--port", "A3", "--rate", "fast"}, rate + "fast'"},
        {{"receive", "o.syx", "--port"}, "receive: --port needs PORT"},
        {{"receive", "o.syx", "--port", "A3", "--timeout", "0"}, timeout + "0'"},
        {{"receive", "o.syx", "--port", "A3", "--timeout", "86400.5"}, timeout + "86400.5'"},
    };
    for (const auto& [line, error] : refused) {
        const auto result = parsed(line);
        const auto* message = std::get_if<std::string>(&result);
        ASSERT_NE(nullptr, message) << ::testing::PrintToString(line);
        EXPECT_EQ(error, *message);
    }
}

TEST(CommandLine, GivesEachCommandCheckedValues)
{
    const auto values = [](const std::vector<std::string>& line) {
        return std::get<Arguments>(parsed(line));
    };
    const auto copy = values({"copy", "a", "9,3,7-8,8", "b", "50"});
    EXPECT_EQ((std::vector<std::int64_t>{2, 6, 7, 8}), copy.one("NUMBERS").rows);
    EXPECT_EQ(std::vector<std::int64_t>{49}, copy.one("NUMBER").rows);
    EXPECT_EQ("b", copy.one("DST").text);
    const auto pdf = values({"pdf", "-o", "x.pdf", "a.syx", "--paper", "a4"});
    EXPECT_EQ("A4 x.pdf a.syx",
              pdf.one("--paper").text + " " + pdf.one("-o").text + " " + pdf.one("FILE").text);
    const auto check = values({"check", "-", "--", "-o", "--force"});
    ASSERT_EQ(3u, check.all("FILE").size());
    EXPECT_EQ("- --force", check.all("FILE")[0].text + " " + check.all("FILE")[2].text);
    EXPECT_EQ("-Drive", values({"rename", "a", "1", "--", "-Drive"}).one("NAME").text);
    EXPECT_TRUE(values({"rename", "a", "1", "X", "--output", "b"}).has("-o"));
    EXPECT_TRUE(values({"new", "a", "--force"}).has("--force"));
    EXPECT_EQ(312500,
              values({"send", "a", "--port", "p", "--rate", "312500"}).one("--rate").number);
    EXPECT_EQ(
        86400,
        values({"receive", "o", "--port", "p", "--timeout", "86400"}).one("--timeout").number);
    values({"ports"}); // throws unless accepted
}

// A made-up command, so that the layout is tested apart from a3bank's own
// table, whose text the manual's check compares.
const CommandDefinition kTidy{
    "tidy",
    {{"FILE", ValueKind::Text, true}},
    {{"-o", "--output", "OUTFILE", ValueKind::Text, true, "where the tidy bank goes"},
     {"--with-a-name-past-the-column", {}, "VALUE", ValueKind::Text, false, "first\nsecond"},
     {"--quiet", {}, {}, ValueKind::Text, false, "say nothing"}},
    "tidy each bank,\non two lines",
    nullptr};

TEST(CommandHelp, GivesTheUsageTheHelpAndEachOptionInColumnsThenTheExitStatus)
{
    EXPECT_EQ("Usage: a3bank tidy FILE... -o OUTFILE [--with-a-name-past-the-column VALUE] "
              "[--quiet]\n"
              "\n"
              "tidy each bank,\n"
              "on two lines\n"
              "\n"
              "Options:\n"
              "  -o, --output OUTFILE           where the tidy bank goes\n"
              "  --with-a-name-past-the-column VALUE\n"
              "                                 first\n"
              "                                 second\n"
              "  --quiet                        say nothing\n"
              "  --help                         show this help\n"
              "\n"
              "Exit status: 0 success, 1 a file was refused or not written, a transfer\n"
              "failed or the output could not be written, 2 a usage error.\n",
              commandHelpText(kTidy));
}

// Lines of at most 75 characters, each as full as the next word allows.
void expectWrappedAt75(std::string_view text)
{
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        ASSERT_NE(std::string_view::npos, end) << "the last line ends with a newline";
        const std::size_t length = end - start;
        EXPECT_LE(length, 75u) << text.substr(start, length);
        const std::size_t nextWord = text.find_first_of(" \n", end + 1) - (end + 1);
        if (end + 1 < text.size()) {
            EXPECT_GT(length + 1 + nextWord, 75u) << text.substr(start, length);
        }
    }
}

// A command's own exit statuses replace the usual ones in its help, and
// follow them, named, in the whole help.
TEST(CommandHelp, GivesACommandsOwnExitStatusesWrappedAsTheirWordsAllow)
{
    CommandDefinition sort = kTidy;
    sort.name = "sort";
    sort.exitStatus = "0 sorted, 1 already in order, 2 a usage error, a file refused or "
                      "unreadable, or the output not written";
    const std::string own = commandHelpText(sort);
    const std::string ownStatus = own.substr(own.rfind("\n\n") + 2);
    EXPECT_EQ("Exit status: 0 sorted, 1 already in order, 2 a usage error, a file refused\n"
              "or unreadable, or the output not written.\n",
              ownStatus);

    const CommandDefinition commands[] = {kTidy, sort};
    const std::string all = helpText(commands);
    const std::string allStatus = all.substr(all.rfind("\n\n") + 2);
    std::string unwrapped = allStatus;
    std::ranges::replace(unwrapped, '\n', ' ');
    EXPECT_EQ("Exit status: 0 success, 1 a file was refused or not written, a transfer failed or "
              "the output could not be written, 2 a usage error; sort: " +
                  std::string(sort.exitStatus) + ". ",
              unwrapped);
    expectWrappedAt75(allStatus);
    expectWrappedAt75(ownStatus);
}

TEST(CommandHelp, IsAskedForByHelpAnywhereBeforeTheOptionsEnd)
{
    using Line = std::vector<std::string>;
    for (const auto& [line, asks] : {std::pair{Line{"--help"}, true},
                                     {Line{"a.syx", "-o", "--help"}, true},
                                     {Line{"--bogus", "--help", "--"}, true},
                                     {Line{"--", "--help"}, false},
                                     {Line{"--helper", "-h", "help"}, false},
                                     {Line{}, false}}) {
        EXPECT_EQ(asks, asksForHelp(line)) << ::testing::PrintToString(line);
    }
}

// The MIDI layer's messages name ports as they are; each mention of the port
// shows as a file name does, and any other control character quotes the
// whole message.
TEST(TerminalMessage, ShowsTheNameItGivesEscaped)
{
    const std::string port = "A3\nin";
    for (const auto& [message, shown] :
         {std::pair{"There is no MIDI port named \"A3\nin\".",
                    "There is no MIDI port named \"'A3'$'\\n''in'\"."},
          {"A3\nin went away; A3\nin", "'A3'$'\\n''in' went away; 'A3'$'\\n''in'"},
          {"Stopped\r", "'Stopped'$'\\r'"},
          {"Sending was cancelled.", "Sending was cancelled."}}) {
        EXPECT_EQ(shown, terminalMessage(message, port));
    }
    EXPECT_EQ("No JACK server is running.", terminalMessage("No JACK server is running.", {}));
}

} // namespace
} // namespace a3::cli
