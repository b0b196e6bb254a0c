#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace a3 {

struct FileReadResult
{
    enum class Status
    {
        Ok,
        TooLarge,   // larger than the caller's limit; not read
        Unreadable, // missing, not a regular file, no permission, read error
    };

    Status status = Status::Unreadable;
    std::vector<std::uint8_t> bytes; // the content when status is Ok
    std::uintmax_t size = 0;         // the file's size when it is TooLarge
    std::string error;               // a reason for the user otherwise

    bool ok() const { return status == Status::Ok; }
};

// Reads a whole regular file of at most maxSize bytes. The size is checked
// before anything is read, so a huge file costs nothing. Directories, FIFOs
// and devices are refused without being opened, and the file opened must be
// the regular file that was measured, so the call never blocks even when the
// name is pointed elsewhere in the meantime.
FileReadResult readFileBounded(const std::filesystem::path& path, std::uintmax_t maxSize);

} // namespace a3
