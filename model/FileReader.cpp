#include "FileReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace a3 {
namespace {

FileReadResult failure(FileReadResult::Status status, std::string reason)
{
    FileReadResult result;
    result.status = status;
    result.error = std::move(reason);
    return result;
}

FileReadResult tooLarge(std::uintmax_t size, std::uintmax_t maxSize)
{
    return failure(FileReadResult::Status::TooLarge, "File is too large (" + std::to_string(size) +
                                                         " bytes; at most " +
                                                         std::to_string(maxSize) + " expected)");
}

} // namespace

FileReadResult readFileBounded(const std::filesystem::path& path, std::uintmax_t maxSize)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) {
        return failure(FileReadResult::Status::Unreadable, error.message());
    }
    if (std::filesystem::is_directory(status)) {
        return failure(FileReadResult::Status::Unreadable, "Is a directory");
    }
    if (!std::filesystem::is_regular_file(status)) {
        return failure(FileReadResult::Status::Unreadable, "Not a regular file");
    }
    const auto size = std::filesystem::file_size(path, error);
    if (error) {
        return failure(FileReadResult::Status::Unreadable, error.message());
    }
    if (size > maxSize) {
        FileReadResult result = tooLarge(size, maxSize);
        result.size = size;
        return result;
    }

    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        return failure(FileReadResult::Status::Unreadable, std::strerror(errno));
    }
    // One byte more than measured tells a file that grew in the meantime.
    FileReadResult result;
    result.bytes.resize(static_cast<std::size_t>(size) + 1);
    const std::size_t read = std::fread(result.bytes.data(), 1, result.bytes.size(), file.get());
    if (std::ferror(file.get())) {
        return failure(FileReadResult::Status::Unreadable, std::strerror(errno));
    }
    if (read > size) {
        return failure(FileReadResult::Status::Unreadable, "File changed while it was read");
    }
    result.bytes.resize(read);
    result.size = read;
    result.status = FileReadResult::Status::Ok;
    return result;
}

} // namespace a3
