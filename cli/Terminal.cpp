#include "Terminal.h"

#include "DumpsInFile.h"
#include "Utf8.h"

#include <cstdio>
#include <iostream>

namespace a3::cli {
namespace {

bool isControl(char32_t codePoint)
{
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}

bool needsQuoting(std::string_view text)
{
    while (!text.empty()) {
        const Utf8Character character = firstUtf8Character(text);
        if (!character.valid || isControl(character.codePoint)) {
            return true;
        }
        text.remove_prefix(character.length);
    }
    return false;
}

// One byte inside $'...'.
std::string escapedByte(unsigned char byte)
{
    switch (byte) {
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\v':
        return "\\v";
    case '\f':
        return "\\f";
    case '\r':
        return "\\r";
    default:
        break;
    }
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(byte));
    return octal;
}

} // namespace

std::string terminalText(std::string_view text)
{
    if (!needsQuoting(text)) {
        return std::string(text);
    }
    // Runs of printable characters in single quotes, runs of the others in
    // $'...', side by side as one shell word.
    std::string quoted;
    std::string plainRun;
    std::string escapedRun;
    const auto flushPlain = [&] {
        if (!plainRun.empty()) {
            quoted += '\'' + plainRun + '\'';
            plainRun.clear();
        }
    };
    const auto flushEscaped = [&] {
        if (!escapedRun.empty()) {
            quoted += "$'" + escapedRun + '\'';
            escapedRun.clear();
        }
    };
    while (!text.empty()) {
        const Utf8Character character = firstUtf8Character(text);
        const std::string_view bytes = text.substr(0, character.length);
        text.remove_prefix(character.length);
        if (character.valid && !isControl(character.codePoint)) {
            flushEscaped();
            plainRun += character.codePoint == '\'' ? std::string("'\\''") : std::string(bytes);
        } else {
            flushPlain();
            for (char byte : bytes) {
                escapedRun += escapedByte(static_cast<unsigned char>(byte));
            }
        }
    }
    flushPlain();
    flushEscaped();
    return quoted;
}

std::string quotedText(std::string_view text)
{
    return needsQuoting(text) ? terminalText(text) : '\'' + std::string(text) + '\'';
}

std::string terminalMessage(std::string_view message, std::string_view name)
{
    std::string shown;
    std::size_t start = 0;
    for (std::size_t found = 0;
         !name.empty() && (found = message.find(name, start)) != std::string_view::npos;
         start = found + name.size()) {
        shown += message.substr(start, found - start);
        shown += terminalText(name);
    }
    shown += message.substr(start);
    return terminalText(shown);
}

std::string givenName(const std::filesystem::path& path)
{
    return terminalText(path.native());
}

std::string placeText(const std::string& fileName, const DumpPlace& place)
{
    DumpPlace shown = place;
    for (std::string& member : shown.members) {
        member = terminalText(member);
    }
    return describePlace(fileName, shown);
}

std::string displayName(const std::filesystem::path& path)
{
    return terminalText(path.filename().native());
}

int refuse(const std::filesystem::path& path, const std::string& reason)
{
    std::cerr << "a3bank: " << givenName(path) << ": " << reason << '\n';
    return kRefused;
}

int usageError(const std::string& message)
{
    std::cerr << "a3bank: " << message << "\nTry 'a3bank --help' for more information.\n";
    return kUsageError;
}

} // namespace a3::cli
