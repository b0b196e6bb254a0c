#pragma once

#include "A3AllDataSource.h"
#include "AtomicFile.h"

#include <QByteArray>
#include <QPageLayout>
#include <QString>
#include <filesystem>
#include <optional>

class QPrinter;

namespace a3 {

// Prints the listing as one page on printer (a real printer, a print preview
// or a PDF printer) on the paper and margins of pageLayout, whatever the
// printer was set to. Page ranges are not consulted: the listing is one page.
// Copies are left to the print system. Returns false when the printer could
// not be drawn on (an unwritable print-to-file target, a printer gone).
bool printListing(QPrinter& printer, const QPageLayout& pageLayout, const A3AllDataSource& bank,
                  const QString& displayName);

// The same page as a whole one-page PDF file, made in memory; nothing when it
// could not be drawn (such as on an invalid page layout).
std::optional<QByteArray> listingPdf(const QPageLayout& pageLayout, const A3AllDataSource& bank,
                                     const QString& displayName);

// Writes that PDF file to pdfPath (a name as the system holds it), replacing
// the file only once the new one is complete, as writeFileAtomically does.
WriteResult exportListingPdf(const std::filesystem::path& pdfPath, const QPageLayout& pageLayout,
                             const A3AllDataSource& bank, const QString& displayName);

} // namespace a3
