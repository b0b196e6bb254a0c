#pragma once

#include "A3AllDataSource.h"
#include "AtomicFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace a3::cli {

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

// Loads the one All-Data dump a file holds, whatever the file is (a bare
// dump, a MIDI file, an archive, ...); returns the reason when it holds none
// or several, leaving the bank unchanged. For the commands that only read.
std::string loadOneDump(A3AllDataSource& bank, const std::filesystem::path& path);

// Writes the bank's All-Data file atomically under any name the system takes.
WriteResult saveBank(A3AllDataSource& bank, const std::filesystem::path& path);

// Tells the user how a write of path went: a file not written is refused
// (kRefused); one written but not known to be on the disk is written all the
// same (kSuccess), with a warning.
int reportWrite(const std::filesystem::path& path, const WriteResult& written);

} // namespace a3::cli
