#include "ListingPrinter.h"

#include "AtomicFile.h"
#include "PrintView.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

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
    PrintView(pageLayout, bank, displayName).paint(painter);
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

std::optional<QByteArray> listingPdf(const QPageLayout& pageLayout, const A3AllDataSource& bank,
                                     const QString& displayName)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setTitle(displayName);
    writer.setCreator(QStringLiteral("A3 Librarian"));
    if (!pageLayout.isValid() || !writer.setPageLayout(pageLayout) ||
        !paintListing(writer, pageLayout, bank, displayName)) {
        return std::nullopt;
    }
    // The painter has ended, so the writer has written the whole file: from
    // its header to the end-of-file marker after the trailer.
    const QByteArray& pdf = buffer.data();
    if (!pdf.startsWith("%PDF-") || !pdf.trimmed().endsWith("%%EOF")) {
        return std::nullopt;
    }
    return pdf;
}

WriteResult exportListingPdf(const std::filesystem::path& pdfPath, const QPageLayout& pageLayout,
                             const A3AllDataSource& bank, const QString& displayName)
{
    if (!pageLayout.isValid()) {
        return Failure{"no valid paper size"};
    }
    const std::optional<QByteArray> pdf = listingPdf(pageLayout, bank, displayName);
    if (!pdf) {
        return Failure{"the page could not be drawn"};
    }
    return writeFileAtomically(pdfPath, {reinterpret_cast<const std::uint8_t*>(pdf->constData()),
                                         static_cast<std::size_t>(pdf->size())});
}

} // namespace a3
