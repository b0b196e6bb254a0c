// a3bank as a whole process, started and waited for, beside `cat` of the same
// bank file as the baseline: `check` and `list` should cost little more than
// cat (no Qt is loaded for them), and `pdf` what it did when a3bank was one
// Qt program. Set A3_OLD_A3BANK to another build's a3bank to measure it in
// the same run.

#include "A3AllDataSource.h"
#include "RunProgram.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A bank file and a folder for the PDFs, for the whole run.
struct Files
{
    Files()
    {
        fs::create_directories(folder);
        a3::A3AllDataSource bank = *a3::A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
        const auto bytes = bank.syxData();
        std::ofstream(bankFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~Files() { fs::remove_all(folder); }

    fs::path folder = fs::temp_directory_path() / ("a3-cli-bench-" + std::to_string(::getpid()));
    std::string bankFile = (folder / "bank.syx").string();
    std::string pdfFile = (folder / "listing.pdf").string();
};

const Files& files()
{
    static const Files instance;
    return instance;
}

enum class Command
{
    Cat,
    Check,
    List,
    Pdf,
};

std::vector<std::string> commandLine(Command command, const std::string& a3bank)
{
    const Files& f = files();
    switch (command) {
    case Command::Cat:
        return {"/bin/cat", f.bankFile};
    case Command::Check:
        return {a3bank, "check", f.bankFile};
    case Command::List:
        return {a3bank, "list", f.bankFile};
    case Command::Pdf:
        return {a3bank, "pdf", f.bankFile, "-o", f.pdfFile, "--paper", "A4"};
    }
    return {};
}

void BM_Process(benchmark::State& state, Command command, std::string a3bank)
{
    const std::vector<std::string> arguments = commandLine(command, a3bank);
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        const bool ok = a3::bench::runToEnd(arguments);
        const auto ended = std::chrono::steady_clock::now();
        if (!ok) {
            state.SkipWithError((arguments.front() + " failed").c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(ended - started).count());
    }
}

void registerProcess(const std::string& name, Command command, const std::string& a3bank)
{
    benchmark::RegisterBenchmark(name.c_str(), BM_Process, command, a3bank)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    registerProcess("BM_Process/cat", Command::Cat, "");
    registerProcess("BM_Process/a3bank_check", Command::Check, A3BANK_PATH);
    registerProcess("BM_Process/a3bank_list", Command::List, A3BANK_PATH);
    registerProcess("BM_Process/a3bank_pdf", Command::Pdf, A3BANK_PATH);
    if (const char* old = std::getenv("A3_OLD_A3BANK")) {
        registerProcess("BM_Process/old_a3bank_check", Command::Check, old);
        registerProcess("BM_Process/old_a3bank_list", Command::List, old);
        registerProcess("BM_Process/old_a3bank_pdf", Command::Pdf, old);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
