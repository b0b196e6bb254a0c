#pragma once

#include "A3AllDataSource.h"
#include "AtomicFile.h"

#include <filesystem>

namespace a3::cli {

// The bank of an All-Data file, or why it has none in the words a3bank
// refuses a file with ("unreadable: Permission denied").
Result<A3AllDataSource> loadBank(const std::filesystem::path& path);

// The bank of the one All-Data dump a file holds, whatever the file is (a
// bare dump, a MIDI file, an archive, ...), or why there is none: it holds
// none, or several. For the commands that only read.
Result<A3AllDataSource> loadOneDump(const std::filesystem::path& path);

// Writes the bank's All-Data file atomically under any name the system takes.
WriteResult saveBank(A3AllDataSource& bank, const std::filesystem::path& path);

// Tells the user how a write of path went: a file not written is refused
// (kRefused); one written but not known to be on the disk is written all the
// same (kSuccess), with a warning.
int reportWrite(const std::filesystem::path& path, const WriteResult& written);

} // namespace a3::cli
