#include "PrintCommands.h"

#include "A3AllDataDocument.h"
#include "AppServices.h"
#include "ListingPrinter.h"
#include "UserPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace a3 {
PrintCommands::PrintCommands(A3AllDataDocument& document, WindowQuestions& questions,
                             AppServices& services)
    : _document(document)
    , _questions(questions)
    , _services(services)
{}

QPageLayout PrintCommands::pageLayout()
{
    if (!_document.pageLayout()) {
        _document.setPageLayout(_services.defaultPageLayout());
    }
    return *_document.pageLayout();
}

void PrintCommands::runPageLayout()
{
    auto printer = std::make_shared<QPrinter>();
    printer->setPageLayout(pageLayout());
    _questions.showDialog(new QPageSetupDialog(printer.get(), _questions.window()),
                          [this, printer](int result) {
                              if (result == QDialog::Accepted) {
                                  _document.setPageLayout(printer->pageLayout());
                              }
                          });
}

void PrintCommands::printDocument()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(_document.displayName());
    printer->setPageLayout(pageLayout());
    auto* dialog = new QPrintDialog(printer.get(), _questions.window());
    // The listing is one page: no range to choose (Qt offers no current page
    // or selection unless asked).
    dialog->setMinMax(1, 1);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    // The document's paper is where the dialog starts; the user's choice there wins.
    _questions.showDialog(dialog, [this, printer](int result) {
        if (result == QDialog::Accepted &&
            !printListing(*printer, printer->pageLayout(), _document.bank(),
                          _document.displayName())) {
            _questions.showError(
                tr("“%1” could not be printed.").arg(_document.displayName()),
                tr("The printer could not be reached or its output file could not be written."));
        }
    });
}

void PrintCommands::printPreview()
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(_document.displayName());
    printer->setPageLayout(pageLayout());
    auto* dialog = new QPrintPreviewDialog(printer.get(), _questions.window());
    QObject::connect(
        dialog, &QPrintPreviewDialog::paintRequested, dialog, [this](QPrinter* target) {
            printListing(*target, target->pageLayout(), _document.bank(), _document.displayName());
        });
    _questions.showDialog(dialog, [printer](int) {});
}

void PrintCommands::exportAsPdf()
{
    const QString file = _document.filePath();
    const QString directory = file.isEmpty() ? QDir::homePath() : QFileInfo(file).absolutePath();
    const QString suggested = QDir(directory).filePath(
        QFileInfo(_document.displayName()).completeBaseName() + QStringLiteral(".pdf"));
    _questions.prompts().choosePdfLocation(
        _questions.window(), suggested, _questions.whenAnswered([this](const QString& chosen) {
            _questions.withSuffix(chosen, QStringLiteral("pdf"), [this](const QString& path) {
                if (path.isEmpty()) {
                    return;
                }
                const WriteResult written =
                    exportListingPdf(QFile::encodeName(path).constData(), pageLayout(),
                                     _document.bank(), _document.displayName());
                if (!_questions.reportWritten(path, written, {})) {
                    _questions.showError(
                        tr("“%1” could not be exported as “%2”.")
                            .arg(_document.displayName(), QFileInfo(path).fileName()),
                        QString::fromLocal8Bit(written.failure().reason));
                }
            });
        }));
}

} // namespace a3
