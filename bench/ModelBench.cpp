// Decoding and encoding an All-Data file, each beside a plain copy of the same
// 29198 bytes as the baseline measured in the same run. The public calls are
// labelled with the variant this CPU picks; every variant it can run is also
// timed on its own over the dump body.

#include "A3AllDataSource.h"
#include "NibbleKernels.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>
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
        benchmark::DoNotOptimize(bank.setSyxData(file));
        benchmark::ClobberMemory();
    }
    setFileBytesProcessed(state);
    state.SetLabel(std::string(a3::nibble::fastestKernels().name));
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
    state.SetLabel(std::string(a3::nibble::fastestKernels().name));
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
    state.SetLabel(std::string(a3::nibble::fastestKernels().name));
}
BENCHMARK(BM_WriteSyxData);

void decodeBody(benchmark::State& state, a3::nibble::DecodeKernel decode)
{
    const auto file = sampleFile();
    std::vector<std::uint8_t> body(a3::kDumpBodySize);
    for (auto _ : state) {
        decode(file.data() + a3::kHeaderSize, body.size(), body.data());
        benchmark::ClobberMemory();
    }
    setFileBytesProcessed(state);
}

void encodeBody(benchmark::State& state, a3::nibble::EncodeKernel encodeSummed)
{
    const std::vector<std::uint8_t> body(a3::kDumpBodySize, 0xA5);
    auto file = sampleFile();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            encodeSummed(body.data(), body.size(), file.data() + a3::kHeaderSize, 0));
        benchmark::ClobberMemory();
    }
    setFileBytesProcessed(state);
}

} // namespace

int main(int argc, char** argv)
{
    for (const a3::nibble::Kernels& kernels : a3::nibble::runnableKernels()) {
        const std::string name(kernels.name);
        benchmark::RegisterBenchmark(("BM_DecodeBody/" + name).c_str(), decodeBody, kernels.decode);
        benchmark::RegisterBenchmark(("BM_EncodeBodySummed/" + name).c_str(), encodeBody,
                                     kernels.encodeSummed);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
