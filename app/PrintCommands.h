#pragma once

#include "WindowQuestions.h"

#include <QCoreApplication>
#include <QPageLayout>

namespace a3 {

class A3AllDataDocument;
class AppServices;

// The printed listing of one window's bank: paper and margins, the print and
// preview dialogs, and the same page as a PDF file.
class PrintCommands
{
    Q_DECLARE_TR_FUNCTIONS(PrintCommands)

public:
    PrintCommands(A3AllDataDocument& document, WindowQuestions& questions, AppServices& services);

    void runPageLayout();
    void printDocument();
    void printPreview();
    void exportAsPdf();
    // The document's paper and margins, the default ones until chosen.
    QPageLayout pageLayout();

private:
    A3AllDataDocument& _document;
    WindowQuestions& _questions;
    AppServices& _services;
};

} // namespace a3
