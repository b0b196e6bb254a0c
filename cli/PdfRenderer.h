#pragma once

#include <filesystem>
#include <string>

namespace a3::cli {

// What `a3bank pdf` asks of its renderer, a program of its own: only that one
// loads Qt, so that every other command starts as fast as a plain program.
struct PdfRequest
{
    std::string bankFile;
    std::string pdfFile;
    std::string paper; // "A4", "Letter", or empty for the default paper
};

// The renderer beside the running program, in the build tree as installed:
// libexec/a3-librarian/ beside bin/.
std::filesystem::path pdfRendererPath();

// Replaces this process with the renderer, which then reports and exits as
// a3bank would. Returns only when it cannot be started, having said why.
int runPdfRenderer(const PdfRequest& request);

} // namespace a3::cli
