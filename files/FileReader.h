#pragma once

#include "Result.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace a3 {

// Why a file was not read.
struct ReadFailure
{
    enum class Kind
    {
        TooLarge,   // larger than the caller's limit; not read
        Unreadable, // missing, not a regular file, no permission, read error
    };
    Kind kind = Kind::Unreadable;
    std::string reason;      // for the user; the system's words for an unreadable file
    std::uintmax_t size = 0; // the file's size when it is TooLarge

    bool tooLarge() const { return kind == Kind::TooLarge; }
};

// A file's whole content, or why it was not read.
using FileRead = Result<std::vector<std::uint8_t>, ReadFailure>;

// Reads a whole regular file of at most maxSize bytes. The size is checked
// before anything is read, so a huge file costs nothing. Directories, FIFOs
// and devices are refused without being opened, and the file opened must be
// the regular file that was measured, so the call never blocks even when the
// name is pointed elsewhere in the meantime.
FileRead readFileBounded(const std::filesystem::path& path, std::uintmax_t maxSize);

} // namespace a3
