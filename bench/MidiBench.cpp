// One All-Data dump sent at MIDI's wire speed to the simulated device over a
// private JACK server (dummy backend), against a wait for the theoretical
// 29198 / 3125 s = 9343 ms on the same absolute schedule as the baseline.
// Both report wall time and the process's CPU time, and as counters the wall
// time's excess over the theory and the CPU time as a share of the wall time.
// Apart, the cost of the check a send makes of its port.

#include "A3AllData.h"
#include "ChildProcess.h"
#include "PacedSender.h"
#include "RtMidiTransport.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <ctime>
#include <thread>

namespace {

using namespace std::chrono_literals;
using a3::midi::kWireSpeed;

constexpr double kTheoryMs = 1000.0 * static_cast<double>(a3::kAllDataFileSize) / kWireSpeed;

double processCpuMs()
{
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return 1000.0 * static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e6;
}

// Runs one timed transfer per iteration and reports it against the theory.
template <typename Transfer>
void measure(benchmark::State& state, Transfer&& transfer)
{
    double wallMs = 0;
    double cpuMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processCpuMs();
        transfer(state);
        cpuMs += processCpuMs() - cpuStart;
        wallMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["over_theory_pct"] = 100.0 * (wallMs / iterations - kTheoryMs) / kTheoryMs;
    state.counters["cpu_of_wall_pct"] = 100.0 * cpuMs / wallMs;
}

struct Bench
{
    std::string server = A3_BENCH_JACK_SERVER;
    std::unique_ptr<a3::test::ChildProcess> jackd;
    std::unique_ptr<a3::test::ChildProcess> device;
    std::unique_ptr<a3::midi::MidiTransport> transport;
    std::vector<std::uint8_t> dump = a3::test::wellFormedAllDataFile();
};

bool setUp(Bench& bench)
{
    ::setenv("JACK_DEFAULT_SERVER", bench.server.c_str(), 1);
    bench.jackd = std::make_unique<a3::test::ChildProcess>(std::vector<std::string>{
        A3_JACKD_PATH, "-S", "-n", bench.server, "-d", "dummy", "-r", "48000", "-p", "256"});
    if (a3::test::run({A3_JACK_WAIT_PATH, "-w", "-s", bench.server, "-t", "10"}).exit.code != 0) {
        return false;
    }
    bench.device = std::make_unique<a3::test::ChildProcess>(
        std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, "a3-bench-device"});
    if (bench.device->readLine(10s) != "ready") {
        return false;
    }
    bench.transport = a3::midi::openMidiSystem("a3-bench", a3::midi::MidiSystem::Jack);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Bench bench;
    if (!setUp(bench)) {
        std::fprintf(stderr, "cannot start the JACK server %s or the simulated device\n",
                     bench.server.c_str());
        return 1;
    }
    benchmark::RegisterBenchmark("BM_WaitForTheTheoreticalTime",
                                 [](benchmark::State& state) {
                                     measure(state, [](benchmark::State&) {
                                         std::this_thread::sleep_until(
                                             std::chrono::steady_clock::now() +
                                             std::chrono::duration<double, std::milli>(kTheoryMs));
                                     });
                                 })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchmark::RegisterBenchmark(
        "BM_SendBankAtWireSpeed",
        [&bench](benchmark::State& state) {
            measure(state, [&bench](benchmark::State& timed) {
                const auto result = a3::midi::sendDump(*bench.transport, "a3-bench-device in:MIDI",
                                                       bench.dump, {}, {});
                timed.PauseTiming();
                if (!result.done() || bench.device->readLine(10s) != "received 29198") {
                    timed.SkipWithError(result.done() ? "the device got no dump"
                                                      : result.message.c_str());
                }
                timed.ResumeTiming();
            });
        })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    // What a send pays, once a second and at its end, to notice its port going.
    benchmark::RegisterBenchmark("BM_AskWhetherThePortIsConnected", [&bench](
                                                                        benchmark::State& state) {
        const auto output = bench.transport->openOutput("a3-bench-device in:MIDI");
        for (auto _ : state) {
            benchmark::DoNotOptimize(output->connected());
        }
    })->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    bench.transport.reset();
    bench.device.reset();
    bench.jackd->kill(SIGTERM); // a clean stop frees its place in JACK's registry
    bench.jackd->finish(10s);
    return 0;
}
