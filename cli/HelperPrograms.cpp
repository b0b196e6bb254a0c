#include "HelperPrograms.h"

#include "Terminal.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#ifndef A3_PDF_RENDERER
#define A3_PDF_RENDERER "../libexec/a3-librarian/a3bank-pdf"
#endif
#ifndef A3_MIDI_HELPER
#define A3_MIDI_HELPER "../libexec/a3-librarian/a3bank-midi"
#endif

namespace a3::cli {
namespace {

// A program at this path from the running program's folder.
std::filesystem::path besideThisProgram(const char* relativePath)
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (executable.parent_path() / relativePath).lexically_normal();
}

int become(const char* relativePath, const char* what, std::vector<std::string> arguments)
{
    const std::string program = besideThisProgram(relativePath).string();
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::cout.flush();
    ::execv(program.c_str(), argv.data());
    std::cerr << "a3bank: cannot start the " << what << ' ' << terminalText(program) << ": "
              << std::strerror(errno) << '\n';
    return kRefused;
}

} // namespace

int runPdfRenderer(const PdfRequest& request)
{
    return become(A3_PDF_RENDERER, "PDF renderer",
                  {request.bankFile, request.pdfFile, request.paper});
}

int runMidiHelper(const std::vector<std::string>& commandLine)
{
    return become(A3_MIDI_HELPER, "MIDI helper", commandLine);
}

} // namespace a3::cli
