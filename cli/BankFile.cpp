#include "BankFile.h"

#include "AllDataFile.h"
#include "AtomicFile.h"
#include "DumpsInFile.h"
#include "Terminal.h"

#include <iostream>
#include <memory>

namespace a3::cli {

Result<A3AllDataSource> loadBank(const std::filesystem::path& path)
{
    auto read = readAllDataFile(path);
    if (!read.ok()) {
        const BankFileFailure& failure = read.failure();
        return Failure{failure.kind == BankFileFailure::Kind::Unreadable
                           ? "unreadable: " + failure.reason
                           : failure.reason};
    }
    return A3AllDataSource::fromSyxData(*read);
}

Result<A3AllDataSource> loadOneDump(const std::filesystem::path& path)
{
    const Result<DumpsInFile> found = dumpsInFile(path);
    if (!found.ok()) {
        return Failure{"unreadable: " + found.failure().reason};
    }
    if (found->dumps.empty()) {
        return Failure{found->holds};
    }
    if (found->dumps.size() > 1) {
        return Failure{"holds " + std::to_string(found->dumps.size()) +
                       " All-Data dumps; a3bank extract writes each to a file of its own"};
    }
    return A3AllDataSource::fromSyxData(found->dumps.front().bytes);
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
    if (!written.ok()) {
        return refuse(path, written.failure().reason);
    }
    if (!written->durable) {
        std::cerr << "a3bank: " << givenName(path)
                  << ": warning: written, but its folder could not be synced: "
                  << written->whyNotDurable << '\n';
    }
    return kSuccess;
}

} // namespace a3::cli
