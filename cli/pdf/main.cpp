// a3bank's PDF renderer: `a3bank pdf` checks its arguments and the bank, then
// becomes this program, which alone of a3bank's programs loads Qt.
//
// Usage (from a3bank only): a3bank-pdf FILE OUT.pdf PAPER, PAPER being "A4",
// "Letter" or empty for the default paper.

#include "BankFile.h"
#include "EndingSignals.h"
#include "ListingPrinter.h"
#include "PrintLayout.h"
#include "Terminal.h"

#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <filesystem>

namespace {

// Qt's notes on its own set-up (such as a runtime folder it had to choose)
// are not the user's business; only what ends the program is.
void keepSeriousMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "a3bank: %s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char** argv)
{
    using namespace a3::cli;
    a3::removeTemporaryFilesOnEndingSignals();
    if (argc != 4) {
        return usageError("the PDF renderer is started by 'a3bank pdf'");
    }
    const std::filesystem::path bankFile = argv[1];
    const std::filesystem::path pdfFile = argv[2];
    const std::string paper = argv[3];
    a3::Result<a3::A3AllDataSource> loaded = loadBank(bankFile);
    if (!loaded.ok()) {
        return refuse(bankFile, loaded.failure().reason);
    }
    a3::A3AllDataSource& bank = *loaded;

    // Fonts and painting need a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(keepSeriousMessages);
    int applicationArgc = 1;
    const QGuiApplication application(applicationArgc, argv);

    QPageLayout layout = a3::defaultPageLayout();
    if (!paper.empty()) {
        layout.setPageSize(QPageSize(paper == "Letter" ? QPageSize::Letter : QPageSize::A4));
    }
    const QString title = QFile::decodeName(bankFile.filename().c_str());
    return reportWrite(pdfFile, a3::exportListingPdf(pdfFile, layout, bank, title));
}
