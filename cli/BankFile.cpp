#include "BankFile.h"

#include "AtomicFile.h"
#include "FileReader.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>

namespace a3::cli {
namespace {

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string hexWord(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::uint16_t littleEndian(const std::array<std::uint8_t, 2>& field)
{
    return static_cast<std::uint16_t>(field[0] | (field[1] << 8));
}

std::string wrongLength(std::uintmax_t length)
{
    return "wrong length: " + std::to_string(length) + " bytes, expected " +
           std::to_string(kAllDataFileSize);
}

} // namespace

std::optional<std::string> rejectionReason(std::span<const std::uint8_t> file)
{
    if (file.size() != kAllDataFileSize) {
        return wrongLength(file.size());
    }
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        if (file[i] != kAllDataHeader[i]) {
            return "wrong header: byte " + std::to_string(i) + " is " + hexByte(file[i]) +
                   ", expected " + hexByte(kAllDataHeader[i]);
        }
    }
    return std::nullopt;
}

std::vector<std::string> toleratedDefects(std::span<const std::uint8_t> file)
{
    std::vector<std::string> defects;
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    if (!bank.setSyxData(file)) {
        return defects;
    }
    const A3AllData stored = bank.data();
    bank.syxData();
    const A3AllData computed = bank.data();
    const auto compare = [&](const char* what, const std::array<std::uint8_t, 2>& storedField,
                             const std::array<std::uint8_t, 2>& computedField) {
        if (storedField != computedField) {
            defects.push_back(std::string(what) + " checksum " +
                              hexWord(littleEndian(storedField)) + " stored, " +
                              hexWord(littleEndian(computedField)) + " computed");
        }
    };
    compare("chain", stored.checksum, computed.checksum);
    compare("patch", stored.checksum2, computed.checksum2);

    if (file.back() != kEndOfExclusive) {
        defects.push_back("last byte is " + hexByte(file.back()) + ", expected 0xF7");
    }
    std::size_t highNibbles = 0;
    for (std::size_t i = kHeaderSize; i < kAllDataFileSize - 1; ++i) {
        highNibbles += file[i] > 0x0F ? 1 : 0;
    }
    if (highNibbles > 0) {
        defects.push_back(std::to_string(highNibbles) + " nibble bytes above 0x0F");
    }
    return defects;
}

FileContent readAllDataFile(const std::filesystem::path& path)
{
    FileReadResult read = readFileBounded(path, kAllDataFileSize);
    switch (read.status) {
    case FileReadResult::Status::Ok:
        break;
    case FileReadResult::Status::TooLarge:
        return {{}, wrongLength(read.size)};
    case FileReadResult::Status::Unreadable:
        return {{}, "unreadable: " + read.error};
    }
    if (auto reason = rejectionReason(read.bytes)) {
        return {{}, *reason};
    }
    return {std::move(read.bytes), {}};
}

std::string loadBank(A3AllDataSource& bank, const std::filesystem::path& path)
{
    FileContent content = readAllDataFile(path);
    if (!content.error.empty()) {
        return content.error;
    }
    bank.setSyxData(content.bytes);
    return {};
}

OutputName outputName(const std::filesystem::path& path)
{
    const QString name = QFile::decodeName(path.c_str());
    if (QFile::encodeName(name) != path.c_str()) {
        return {{}, "cannot write a file whose name is not valid UTF-8 text"};
    }
    return {name, {}};
}

std::string saveBank(A3AllDataSource& bank, const std::filesystem::path& path)
{
    const OutputName output = outputName(path);
    if (!output.error.empty()) {
        return output.error;
    }
    const auto file = bank.syxData();
    const QByteArray bytes(reinterpret_cast<const char*>(file.data()),
                           static_cast<qsizetype>(file.size()));
    return writeFileAtomically(output.path, bytes).toStdString();
}

} // namespace a3::cli
