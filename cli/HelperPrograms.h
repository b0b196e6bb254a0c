#pragma once

#include <string>
#include <vector>

namespace a3::cli {

// Work that needs large libraries is done by programs of a3bank's own, which
// it becomes once it has checked the command line: only a3bank-pdf loads Qt,
// and only a3bank-midi the MIDI libraries (RtMidi, JACK, ALSA), so that every
// other command starts as fast as a plain program. They live in
// libexec/a3-librarian/ beside bin/, in the build tree as when installed.
// Each function replaces this process with its program, which then reports
// and exits as a3bank would, and returns only when it cannot be started,
// having said why.

// What `a3bank pdf` asks of its renderer.
struct PdfRequest
{
    std::string bankFile;
    std::string pdfFile;
    std::string paper; // "A4", "Letter", or empty for the default paper
};

int runPdfRenderer(const PdfRequest& request);

// commandLine: a device command as a3bank took it, such as "send", FILE,
// "--port", PORT.
int runMidiHelper(const std::vector<std::string>& commandLine);

} // namespace a3::cli
