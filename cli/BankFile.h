#pragma once

#include "A3AllDataSource.h"

#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace a3::cli {

// Why the bank would refuse this file content, or nothing when it takes it.
std::optional<std::string> rejectionReason(std::span<const std::uint8_t> file);

// What the reader tolerates in an accepted file: stored checksums that differ
// from the computed ones, a last byte other than F7, nibble bytes above 0x0F.
std::vector<std::string> toleratedDefects(std::span<const std::uint8_t> file);

struct FileContent
{
    std::vector<std::uint8_t> bytes;
    std::string error; // why the file cannot be used; empty when it can
};

// Reads an All-Data file without loading anything larger than one, and tells
// why it is refused when the bank would not take it.
FileContent readAllDataFile(const std::filesystem::path& path);

// Loads an All-Data file into bank; returns the reason on failure, leaving
// the bank unchanged.
std::string loadBank(A3AllDataSource& bank, const std::filesystem::path& path);

// A file to write, as Qt's file classes name it.
struct OutputName
{
    QString path;
    std::string error; // why the file cannot be written; empty when it can
};

// Qt holds file names as text and would write a name that is not UTF-8 under
// another name, so such a name is refused for writing.
OutputName outputName(const std::filesystem::path& path);

// Writes the bank's All-Data file atomically; returns the reason on failure.
std::string saveBank(A3AllDataSource& bank, const std::filesystem::path& path);

} // namespace a3::cli
