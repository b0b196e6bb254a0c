#include "Commands.h"

#include "BankFile.h"
#include "PatchText.h"

#include <QString>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace a3::cli {
namespace {

std::string displayName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

int refuse(const std::string& path, const std::string& reason)
{
    std::cerr << "a3bank: " << displayName(path) << ": " << reason << '\n';
    return 1;
}

void printListing(A3AllDataSource& bank, const std::string& path)
{
    char chainId[32];
    std::snprintf(chainId, sizeof chainId, "Chain ID: %04x", bank.chainChecksum());
    std::cout << "Korg A3 SysEx File: " << displayName(path) << '\n'
              << chainId << '\n'
              << "  # : Chain : Name\n";
    for (std::int64_t i = 0; i < bank.numberOfRows(); ++i) {
        std::cout << patchLine(i, bank.chainAtIndex(i), bank.patchNameAt(i)) << '\n';
    }
}

// Splits "-o FILE" off the arguments; returns false on a dangling -o.
bool takeOutputOption(Arguments& arguments, std::string& output)
{
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (*it == "-o" || *it == "--output") {
            if (std::next(it) == arguments.end()) {
                return false;
            }
            output = *std::next(it);
            arguments.erase(it, it + 2);
            return true;
        }
    }
    return true;
}

} // namespace

int usageError(const std::string& message)
{
    std::cerr << "a3bank: " << message << "\nTry 'a3bank --help' for more information.\n";
    return 2;
}

int listCommand(const Arguments& arguments)
{
    if (arguments.empty()) {
        return usageError("list: no file given");
    }
    int status = 0;
    bool first = true;
    for (const auto& path : arguments) {
        A3AllDataSource bank;
        if (auto error = loadBank(bank, path); !error.empty()) {
            status = refuse(path, error);
            continue;
        }
        if (!first) {
            std::cout << '\n';
        }
        first = false;
        printListing(bank, path);
    }
    return status;
}

int checkCommand(const Arguments& arguments)
{
    if (arguments.empty()) {
        return usageError("check: no file given");
    }
    int status = 0;
    for (const auto& path : arguments) {
        const std::string name = displayName(path);
        const FileContent content = readAllDataFile(path);
        if (!content.error.empty()) {
            std::cout << name << ": rejected: " << content.error << '\n';
            status = 1;
            continue;
        }
        std::cout << name << ": ok\n";
        for (const auto& defect : toleratedDefects(content.bytes)) {
            std::cout << name << ": warning: " << defect << '\n';
        }
    }
    return status;
}

int newCommand(const Arguments& arguments)
{
    Arguments rest = arguments;
    const bool force = std::erase(rest, std::string("--force")) > 0;
    if (rest.size() != 1) {
        return usageError("new: expected one OUTFILE");
    }
    const std::string& path = rest.front();
    std::error_code error;
    if (!force && std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        return refuse(path, "already exists (use --force to replace it)");
    }
    A3AllDataSource bank;
    if (auto failure = saveBank(bank, path); !failure.empty()) {
        return refuse(path, failure);
    }
    return 0;
}

int renameCommand(const Arguments& arguments)
{
    Arguments rest = arguments;
    std::string output;
    if (!takeOutputOption(rest, output)) {
        return usageError("rename: -o needs a file");
    }
    if (rest.size() != 3) {
        return usageError("rename: expected FILE NUMBER NAME");
    }
    const std::string& path = rest[0];
    int number = 0;
    try {
        std::size_t used = 0;
        number = std::stoi(rest[1], &used);
        if (used != rest[1].size()) {
            number = 0;
        }
    } catch (const std::exception&) {
        number = 0;
    }
    if (number < 1 || number > 100) {
        return usageError("rename: NUMBER must be 1 to 100, not '" + rest[1] + "'");
    }
    A3AllDataSource bank;
    if (auto error = loadBank(bank, path); !error.empty()) {
        return refuse(path, error);
    }
    const QString name = QString::fromLocal8Bit(rest[2]);
    bank.setPatchName(std::u16string_view(reinterpret_cast<const char16_t*>(name.utf16()),
                                          static_cast<std::size_t>(name.size())),
                      number - 1);
    const std::string target = output.empty() ? path : output;
    if (auto failure = saveBank(bank, target); !failure.empty()) {
        return refuse(target, failure);
    }
    return 0;
}

} // namespace a3::cli
