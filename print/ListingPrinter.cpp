#include "ListingPrinter.h"

#include "PrintView.h"

#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace a3 {
namespace {

// Paints the page on a device already set to its page layout; the painter
// starts at the top-left of the printable area in device pixels.
bool paintListing(QPagedPaintDevice& device, const QPageLayout& pageLayout,
                  const A3AllDataSource& bank, const QString& displayName)
{
    QPainter painter;
    if (!painter.begin(&device)) {
        return false;
    }
    painter.scale(device.logicalDpiX() / 72.0, device.logicalDpiY() / 72.0);
    PrintView::printViewWithPrintInfo(pageLayout, bank, displayName)->drawRect(painter);
    return painter.end();
}

} // namespace

bool printListing(QPrinter& printer, const QPageLayout& pageLayout, const A3AllDataSource& bank,
                  const QString& displayName)
{
    printer.setDocName(displayName);
    // A printer that cannot take this paper or these margins keeps its own;
    // the listing then fills the area that the printer does print.
    const QPageLayout printed =
        printer.setPageLayout(pageLayout) ? pageLayout : printer.pageLayout();
    return paintListing(printer, printed, bank, displayName);
}

QString exportListingPdf(const QString& pdfPath, const QPageLayout& pageLayout,
                         const A3AllDataSource& bank, const QString& displayName)
{
    if (!pageLayout.isValid()) {
        return QStringLiteral("no valid paper size");
    }
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    QPdfWriter writer(&file);
    writer.setTitle(displayName);
    writer.setCreator(QStringLiteral("A3 Librarian"));
    if (!writer.setPageLayout(pageLayout) || !paintListing(writer, pageLayout, bank, displayName)) {
        return QStringLiteral("the page could not be drawn");
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return {};
}

} // namespace a3
