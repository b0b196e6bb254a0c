#include "PdfRenderer.h"

#include "Terminal.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

#ifndef A3_PDF_RENDERER
#define A3_PDF_RENDERER "../libexec/a3-librarian/a3bank-pdf"
#endif

namespace a3::cli {

std::filesystem::path pdfRendererPath()
{
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (executable.parent_path() / A3_PDF_RENDERER).lexically_normal();
}

int runPdfRenderer(const PdfRequest& request)
{
    const std::string renderer = pdfRendererPath().string();
    std::string bankFile = request.bankFile;
    std::string pdfFile = request.pdfFile;
    std::string paper = request.paper;
    char* const argv[] = {const_cast<char*>(renderer.c_str()), bankFile.data(), pdfFile.data(),
                          paper.data(), nullptr};
    std::cout.flush();
    ::execv(renderer.c_str(), argv);
    std::cerr << "a3bank: cannot start the PDF renderer " << terminalText(renderer) << ": "
              << std::strerror(errno) << '\n';
    return kRefused;
}

} // namespace a3::cli
