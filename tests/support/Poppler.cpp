#include "Poppler.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>
#include <sstream>

namespace a3::test {
namespace {

std::string runTool(std::vector<std::string> arguments)
{
    const RunResult result = run(arguments);
    if (result.exit.code != 0) {
        ADD_FAILURE() << arguments.front()
                      << " failed (is poppler-utils installed?): " << result.err;
        return {};
    }
    return result.out;
}

} // namespace

std::string pdfLayoutText(const std::filesystem::path& pdf)
{
    return runTool({"/usr/bin/pdftotext", "-layout", pdf.string(), "-"});
}

std::string pdfWordBoxes(const std::filesystem::path& pdf)
{
    return runTool({"/usr/bin/pdftotext", "-bbox", pdf.string(), "-"});
}

std::string pdfInfo(const std::filesystem::path& pdf, const std::string& field)
{
    std::istringstream info(runTool({"/usr/bin/pdfinfo", pdf.string()}));
    for (std::string line; std::getline(info, line);) {
        if (line.rfind(field + ':', 0) == 0) {
            const std::size_t value = line.find_first_not_of(' ', field.size() + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

std::vector<std::string> simplifiedLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string simplified;
        for (std::string word; words >> word;) {
            simplified += (simplified.empty() ? "" : " ") + word;
        }
        if (!simplified.empty()) {
            lines.push_back(simplified);
        }
    }
    return lines;
}

} // namespace a3::test
