#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace a3::test {

// What the poppler-utils tools read from a PDF file. Each fails the running
// test when its tool cannot be run.

// The text as pdftotext -layout lays it out.
std::string pdfLayoutText(const std::filesystem::path& pdf);
// Every word with its box, as pdftotext -bbox writes it.
std::string pdfWordBoxes(const std::filesystem::path& pdf);
// pdfinfo's value for a field, such as "Pages" or "Page size".
std::string pdfInfo(const std::filesystem::path& pdf, const std::string& field);

// The lines of a text with each run of white space made one space, blank
// lines left out: text laid out from a PDF keeps its words but not its spacing.
std::vector<std::string> simplifiedLines(const std::string& text);

} // namespace a3::test
