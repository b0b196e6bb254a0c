#include "BankFile.h"

#include "AllDataFile.h"
#include "AtomicFile.h"
#include "DumpsInFile.h"
#include "FileReader.h"
#include "Terminal.h"

#include <iostream>
#include <memory>

namespace a3::cli {

FileContent readAllDataFile(const std::filesystem::path& path)
{
    FileReadResult read = readFileBounded(path, kAllDataFileSize);
    switch (read.status) {
    case FileReadResult::Status::Ok:
        break;
    case FileReadResult::Status::TooLarge:
        return {{}, allDataLengthProblem(read.size).value_or(read.error)};
    case FileReadResult::Status::Unreadable:
        return {{}, "unreadable: " + read.error};
    }
    if (auto problem = allDataFileProblem(read.bytes)) {
        return {{}, *std::move(problem)};
    }
    return {std::move(read.bytes), {}};
}

std::string loadBank(A3AllDataSource& bank, const std::filesystem::path& path)
{
    FileContent content = readAllDataFile(path);
    if (content.error.empty()) {
        bank.setSyxData(content.bytes);
    }
    return content.error;
}

std::string loadOneDump(A3AllDataSource& bank, const std::filesystem::path& path)
{
    const DumpsInFile found = dumpsInFile(path);
    if (!found.unreadable.empty()) {
        return "unreadable: " + found.unreadable;
    }
    if (found.dumps.empty()) {
        return found.holds;
    }
    if (found.dumps.size() > 1) {
        return "holds " + std::to_string(found.dumps.size()) +
               " All-Data dumps; a3bank extract writes each to a file of its own";
    }
    bank.setSyxData(found.dumps.front().bytes);
    return {};
}

WriteResult saveBank(A3AllDataSource& bank, const std::filesystem::path& path)
{
    // Encoded into a buffer of its own that nothing fills first.
    const auto file = std::make_unique_for_overwrite<std::uint8_t[]>(kAllDataFileSize);
    const std::span<std::uint8_t, kAllDataFileSize> bytes(file.get(), kAllDataFileSize);
    bank.writeSyxData(bytes);
    return writeFileAtomically(path, bytes);
}

int reportWrite(const std::filesystem::path& path, const WriteResult& written)
{
    switch (written.outcome) {
    case WriteResult::Outcome::Durable:
        break;
    case WriteResult::Outcome::DurabilityUnknown:
        std::cerr << "a3bank: " << givenName(path)
                  << ": warning: written, but its folder could not be synced: " << written.reason
                  << '\n';
        break;
    case WriteResult::Outcome::NotWritten:
        return refuse(path, written.reason);
    }
    return kSuccess;
}

} // namespace a3::cli
