#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace a3::test {

// A fresh folder under the system's temporary directory, removed with its
// content when the object goes.
class TempDir
{
public:
    TempDir()
    {
        std::random_device seed;
        _path = std::filesystem::temp_directory_path() /
                ("a3-test-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(_path);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return _path; }
    std::filesystem::path operator/(const std::string& name) const { return _path / name; }

private:
    std::filesystem::path _path;
};

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// A well-formed All-Data file: the right header, nibbles 0..15, F7 at the end
// and checksums by the rules, with body bytes from a simple counter.
std::vector<std::uint8_t> wellFormedAllDataFile();

} // namespace a3::test
