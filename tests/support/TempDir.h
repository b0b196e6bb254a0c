#pragma once

#include "A3AllDataSource.h"

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
// The names in a folder, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);
// Makes the folders on the way as well.
void writeBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// A bank whose patches are all the same sound as the fallback's, the ones
// numbered (1 to 100) named as given, and sounds of their own where a last
// byte is given.
inline A3AllDataSource bankWith(std::initializer_list<std::pair<int, std::u16string>> names,
                                std::initializer_list<std::pair<int, std::uint8_t>> lastBytes = {})
{
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    for (const auto& [number, name] : names) {
        bank.setPatchName(name, number - 1);
    }
    for (const auto& [number, byte] : lastBytes) {
        std::vector<std::uint8_t> patch = bank.patchDataAt(number - 1);
        patch.back() = byte;
        bank.setPatchData(patch, number - 1);
    }
    return bank;
}

// A well-formed All-Data file: the right header, nibbles 0..15, F7 at the end
// and checksums by the rules, with body bytes from a simple counter.
std::vector<std::uint8_t> wellFormedAllDataFile();

} // namespace a3::test
