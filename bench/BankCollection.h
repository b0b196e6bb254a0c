#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace a3::bench {

// A large collection of banks for the library's benchmarks: 10,000 bank files
// (1,000,000 patches) in 100 folders, names from a small vocabulary, 30 % of
// the patches one of 2,000 shared sounds, and one sound named "Init" in 5,000
// places (the last patch of every other bank). Made once under the temporary
// folder and kept for the next run; A3_LIBRARY_BENCH_FILES sets how many
// files it has (for a quick run), A3_LIBRARY_BENCH_COLLECTION names a folder
// of banks to use instead, as it is.
std::filesystem::path bankCollection();

// What a3bank check does for each bare bank file, without starting a process
// or printing: read it, judge it, list its tolerated defects. Their count.
std::size_t checkBankFiles(std::span<const std::string> paths);

// Resident bytes of this process now.
std::int64_t residentBytes();

} // namespace a3::bench
