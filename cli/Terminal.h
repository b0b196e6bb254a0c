#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace a3 {
struct DumpPlace;
}

namespace a3::cli {

// The exit statuses of a3bank.
inline constexpr int kSuccess = 0;
inline constexpr int kRefused = 1; // a file was refused or not written
inline constexpr int kUsageError = 2;
// diff's, as diff(1) has them: the banks differ, or it could not compare them
// (a usage error, or a file unreadable or refused).
inline constexpr int kBanksDiffer = 1;
inline constexpr int kCannotCompare = 2;

// A text as a terminal may show it on one line: as it is when it is UTF-8
// without control characters, otherwise in the shell's quoting, as
// ls --quoting-style=shell-escape writes it ('a'$'\n''b'), which a shell
// turns back into the same bytes.
std::string terminalText(std::string_view text);
// A text given on the command line as a message quotes it: 'text', or the
// quoting of terminalText() where that is needed.
std::string quotedText(std::string_view text);

// A message that gives a name as it is (the MIDI layer names ports so), with
// each mention of the name as terminalText() shows it, and the whole message
// quoted if it still holds a control character.
std::string terminalMessage(std::string_view message, std::string_view name);

// A file as results and messages name it: as the user gave it, terminal-safe,
// so that a script can tell apart files of the same name in different folders.
std::string givenName(const std::filesystem::path& path);
// A dump's place as results and messages show it: describePlace() of the
// file as given (givenName()), with each member terminal-safe.
std::string placeText(const std::string& fileName, const DumpPlace& place);
// A file as a listing's title shows it: its last component, terminal-safe.
std::string displayName(const std::filesystem::path& path);

// "a3bank: NAME: reason" on standard error; returns kRefused.
int refuse(const std::filesystem::path& path, const std::string& reason);
// The message and a hint at --help on standard error; returns kUsageError.
int usageError(const std::string& message);

} // namespace a3::cli
