#include "TempDir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace a3::test {

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

void writeBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out && std::filesystem::create_directories(path.parent_path())) {
        out.open(path, std::ios::binary | std::ios::trunc);
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::vector<std::uint8_t> wellFormedAllDataFile()
{
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    A3AllData record = bank.data();
    auto* bytes = reinterpret_cast<std::uint8_t*>(&record);
    for (std::size_t i = kHeaderSize; i < kRecordSize; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    bank.setData(record);
    return bank.syxData(); // recomputes the checksums over that content
}

} // namespace a3::test
