#pragma once

#include "SoundsDatabase.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>

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

// In a child of fork(): waits until the parent writes a byte to goPipe,
// then opens the database at file; ends the child with status 3, and the
// reason on standard error, when it cannot.
inline std::unique_ptr<SoundsDatabase> openWhenTold(const std::filesystem::path& file, int goPipe)
{
    char go = 0;
    if (read(goPipe, &go, 1) != 1) {
        _exit(2);
    }
    auto opened = SoundsDatabase::open(file);
    if (!opened.ok()) {
        std::fprintf(stderr, "%s\n", opened.failure().reason.c_str());
        _exit(3);
    }
    return std::move(*opened);
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
