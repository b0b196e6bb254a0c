#pragma once

#include "SoundsDatabase.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

namespace a3::library {

// A patch of the given chain, named name, whose byte 63 tells it apart.
inline Sound soundWith(std::uint8_t chain, std::string_view name, std::uint8_t tell,
                       std::uint16_t chainId = 0x1234)
{
    Sound sound;
    sound.patch[0] = chain;
    std::ranges::copy(name.substr(0, kPatchNameLength), sound.patch.begin() + kPatchNameOffset);
    sound.patch[63] = tell;
    sound.chainId = chainId;
    return sound;
}

inline std::unique_ptr<SoundsDatabase> openAt(const std::filesystem::path& file)
{
    auto opened = SoundsDatabase::open(file);
    EXPECT_TRUE(opened.ok()) << opened.failure().reason;
    return opened.ok() ? std::move(*opened) : nullptr;
}

inline SoundData dataOf(SoundsDatabase& database, const Sound& sound)
{
    const auto snapshot = database.snapshot();
    EXPECT_TRUE(snapshot.ok());
    const auto found = snapshot->find(sound.key());
    return found == snapshot->end() ? SoundData{} : found->second;
}

inline std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace a3::library
