#include "Poppler.h"

#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace a3::test {
namespace {

std::string run(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << tool.toStdString() << " failed (is poppler-utils installed?): "
                      << process.errorString().toStdString()
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput().toStdString();
}

QString q(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

} // namespace

std::string pdfLayoutText(const std::filesystem::path& pdf)
{
    return run(QStringLiteral("pdftotext"), {"-layout", q(pdf), "-"});
}

std::string pdfWordBoxes(const std::filesystem::path& pdf)
{
    return run(QStringLiteral("pdftotext"), {"-bbox", q(pdf), "-"});
}

std::string pdfInfo(const std::filesystem::path& pdf, const std::string& field)
{
    const QString info = QString::fromStdString(run(QStringLiteral("pdfinfo"), {q(pdf)}));
    const QRegularExpression line(
        QStringLiteral("^%1:\\s*(.*)$")
            .arg(QRegularExpression::escape(QString::fromStdString(field))),
        QRegularExpression::MultilineOption);
    return line.match(info).captured(1).toStdString();
}

std::vector<std::string> simplifiedLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (const QString& line : QString::fromStdString(text).split(u'\n')) {
        if (!line.trimmed().isEmpty()) {
            lines.push_back(line.simplified().toStdString());
        }
    }
    return lines;
}

} // namespace a3::test
