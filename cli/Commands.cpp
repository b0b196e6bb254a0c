#include "Commands.h"

#include "BankFile.h"
#include "ListingPrinter.h"
#include "PatchBlock.h"
#include "PatchText.h"
#include "PrintLayout.h"

#include <QGuiApplication>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string_view>

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

std::string chainId(std::uint16_t checksum)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", checksum);
    return text;
}

void printListing(A3AllDataSource& bank, const std::string& path)
{
    std::cout << "Korg A3 SysEx File: " << displayName(path) << '\n'
              << "Chain ID: " << chainId(bank.chainChecksum()) << '\n'
              << "  # : Chain : Name\n";
    for (std::int64_t i = 0; i < bank.numberOfRows(); ++i) {
        std::cout << patchLine(i, bank.chainAtIndex(i), bank.patchNameAt(i)) << '\n';
    }
}

// Splits an option and its value ("-o FILE") off the arguments; returns false
// when the option is the last argument, without its value.
bool takeOption(Arguments& arguments, std::initializer_list<std::string_view> names,
                std::string& value)
{
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        if (std::ranges::find(names, *it) != names.end()) {
            if (std::next(it) == arguments.end()) {
                return false;
            }
            value = *std::next(it);
            arguments.erase(it, it + 2);
            return true;
        }
    }
    return true;
}

// A patch number from 1 to 100, or 0 when the text is none.
int patchNumber(const std::string& text)
{
    try {
        std::size_t used = 0;
        const int number = std::stoi(text, &used);
        return used == text.size() && number >= 1 && number <= 100 ? number : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

// "3,7-9" as the zero-based rows 2, 6, 7, 8, ascending, each once; empty
// when the list is malformed.
std::vector<std::int64_t> parsePatchList(const std::string& list)
{
    std::vector<std::int64_t> rows;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const int first = patchNumber(item.substr(0, dash));
        const int last = dash == std::string::npos ? first : patchNumber(item.substr(dash + 1));
        if (first == 0 || last < first) {
            return {};
        }
        for (int number = first; number <= last; ++number) {
            rows.push_back(number - 1);
        }
        start = comma + 1;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::optional<QPageSize::PageSizeId> paperNamed(const std::string& name)
{
    const QString paper = QString::fromStdString(name);
    if (paper.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0) {
        return QPageSize::A4;
    }
    if (paper.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0) {
        return QPageSize::Letter;
    }
    return std::nullopt;
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
        A3AllDataSource bank = A3AllDataSource::fallbackBank();
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
    A3AllDataSource bank; // the factory bank
    if (auto failure = saveBank(bank, path); !failure.empty()) {
        return refuse(path, failure);
    }
    return 0;
}

int renameCommand(const Arguments& arguments)
{
    Arguments rest = arguments;
    std::string output;
    if (!takeOption(rest, {"-o", "--output"}, output)) {
        return usageError("rename: -o needs a file");
    }
    if (rest.size() != 3) {
        return usageError("rename: expected FILE NUMBER NAME");
    }
    const std::string& path = rest[0];
    const int number = patchNumber(rest[1]);
    if (number == 0) {
        return usageError("rename: NUMBER must be 1 to 100, not '" + rest[1] + "'");
    }
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
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

int copyCommand(const Arguments& arguments)
{
    Arguments rest = arguments;
    std::string output;
    if (!takeOption(rest, {"-o", "--output"}, output)) {
        return usageError("copy: -o needs a file");
    }
    if (rest.size() != 4) {
        return usageError("copy: expected SRC NUMBERS DST NUMBER");
    }
    const std::string& sourcePath = rest[0];
    const std::string& targetPath = rest[2];
    const std::vector<std::int64_t> rows = parsePatchList(rest[1]);
    if (rows.empty()) {
        return usageError("copy: NUMBERS must be patch numbers 1 to 100 such as 3,7-9, not '" +
                          rest[1] + "'");
    }
    const int firstTarget = patchNumber(rest[3]);
    if (firstTarget == 0) {
        return usageError("copy: NUMBER must be 1 to 100, not '" + rest[3] + "'");
    }

    A3AllDataSource source = A3AllDataSource::fallbackBank();
    if (auto error = loadBank(source, sourcePath); !error.empty()) {
        return refuse(sourcePath, error);
    }
    A3AllDataSource target = A3AllDataSource::fallbackBank();
    if (auto error = loadBank(target, targetPath); !error.empty()) {
        return refuse(targetPath, error);
    }
    const PatchPayload payload = patchPayload(source, rows);
    // Patches that use the chain data only make sense with the same chain data.
    if (payload.refersToChainData && source.chainChecksum() != target.chainChecksum()) {
        return refuse(targetPath, "patches using chain data (C0 and up) need the same chain ID; " +
                                      displayName(sourcePath) + " has " +
                                      chainId(source.chainChecksum()) + ", " +
                                      displayName(targetPath) + " has " +
                                      chainId(target.chainChecksum()));
    }
    if (!writePatchBlock(target, payload.bytes, firstTarget - 1)) {
        return refuse(targetPath, std::to_string(rows.size()) + " patches from patch " +
                                      std::to_string(firstTarget) + " would run past patch 100");
    }
    const std::string written = output.empty() ? targetPath : output;
    if (auto failure = saveBank(target, written); !failure.empty()) {
        return refuse(written, failure);
    }
    return 0;
}

int pdfCommand(const Arguments& arguments)
{
    Arguments rest = arguments;
    std::string output;
    std::string paperName;
    if (!takeOption(rest, {"-o", "--output"}, output) ||
        !takeOption(rest, {"--paper"}, paperName)) {
        return usageError("pdf: -o and --paper need a value");
    }
    if (rest.size() != 1 || output.empty()) {
        return usageError("pdf: expected FILE -o OUT.pdf");
    }
    const std::optional<QPageSize::PageSizeId> paper =
        paperName.empty() ? std::nullopt : paperNamed(paperName);
    if (!paperName.empty() && !paper) {
        return usageError("pdf: --paper must be A4 or Letter, not '" + paperName + "'");
    }
    const OutputName pdf = outputName(output);
    if (!pdf.error.empty()) {
        return refuse(output, pdf.error);
    }
    const std::string& path = rest.front();
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    if (auto error = loadBank(bank, path); !error.empty()) {
        return refuse(path, error);
    }

    // Fonts and painting need a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "a3bank";
    char* argv[] = {name, nullptr};
    const QGuiApplication application(argc, argv);

    QPageLayout layout = defaultPageLayout();
    if (paper) {
        layout.setPageSize(QPageSize(*paper));
    }
    const QString failure =
        exportListingPdf(pdf.path, layout, bank, QString::fromStdString(displayName(path)));
    if (!failure.isEmpty()) {
        return refuse(output, failure.toStdString());
    }
    return 0;
}

} // namespace a3::cli
