// Decoding and encoding an All-Data file, each beside a plain copy of the same
// 29198 bytes as the baseline measured in the same run.

#include "A3AllDataSource.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> sampleFile()
{
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    return bank.syxData();
}

void setFileBytesProcessed(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(a3::kAllDataFileSize));
}

void BM_Memcpy(benchmark::State& state)
{
    const auto source = sampleFile();
    std::vector<std::uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    setFileBytesProcessed(state);
}
BENCHMARK(BM_Memcpy);

void BM_SetSyxData(benchmark::State& state)
{
    const auto file = sampleFile();
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    for (auto _ : state) {
        benchmark::DoNotOptimize(bank.setSyxData(file).ok());
        benchmark::ClobberMemory();
    }
    setFileBytesProcessed(state);
}
BENCHMARK(BM_SetSyxData);

void BM_SyxData(benchmark::State& state)
{
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    for (auto _ : state) {
        auto file = bank.syxData();
        benchmark::DoNotOptimize(file.data());
    }
    setFileBytesProcessed(state);
}
BENCHMARK(BM_SyxData);

void BM_WriteSyxData(benchmark::State& state)
{
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    std::vector<std::uint8_t> file(a3::kAllDataFileSize);
    for (auto _ : state) {
        bank.writeSyxData(std::span<std::uint8_t, a3::kAllDataFileSize>(file));
        benchmark::ClobberMemory();
    }
    setFileBytesProcessed(state);
}
BENCHMARK(BM_WriteSyxData);

} // namespace

BENCHMARK_MAIN();
