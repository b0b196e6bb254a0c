#pragma once

#include "A3AllDataSource.h"

#include <QPageLayout>
#include <QString>

class QPrinter;

namespace a3 {

// Prints the listing as one page on printer (a real printer, a print preview
// or a PDF printer) on the paper and margins of pageLayout, whatever the
// printer was set to. Page ranges are not consulted: the listing is one page.
// Copies are left to the print system. Returns false when the printer could
// not be drawn on (an unwritable print-to-file target, a printer gone).
bool printListing(QPrinter& printer, const QPageLayout& pageLayout, const A3AllDataSource& bank,
                  const QString& displayName);

// Writes the same page as a one-page PDF file, replacing pdfPath only once it
// is complete. Returns an empty string on success, otherwise the reason.
QString exportListingPdf(const QString& pdfPath, const QPageLayout& pageLayout,
                         const A3AllDataSource& bank, const QString& displayName);

} // namespace a3
