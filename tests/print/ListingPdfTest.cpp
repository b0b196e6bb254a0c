// The listing painted on a PDF page, through the export and through a
// QPrinter, read back with poppler-utils.

#include "A3AllDataSource.h"
#include "ListingPrinter.h"
#include "Poppler.h"
#include "PrintLayout.h"
#include "TempDir.h"

#include <QPrinter>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

namespace a3 {
namespace {

// Positions in the PDF come from the font's own ascent, so they match the
// layout to a few thousandths of a point.
constexpr double kPdfTolerance = 0.05;

// Whether the page has the word with its top-left corner at (x, y) points.
bool hasWordAt(const std::string& boxes, const QString& word, double x, double y)
{
    static const QRegularExpression box(
        QLatin1String(R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)"[^>]*>([^<]*)</word>)re"));
    for (const auto& match : box.globalMatch(QString::fromStdString(boxes))) {
        if (match.captured(3) == word &&
            std::abs(match.captured(1).toDouble() - x) < kPdfTolerance &&
            std::abs(match.captured(2).toDouble() - y) < kPdfTolerance) {
            return true;
        }
    }
    return false;
}

class ListingPdf : public ::testing::Test
{
protected:
    const QPageLayout letter{QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                             QMarginsF(72, 72, 72, 72), QPageLayout::Point};
    A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    test::TempDir dir;
};

TEST_F(ListingPdf, ExportWritesOnePageWithTheWholeListingWhereTheLayoutPutsIt)
{
    const auto pdf = dir / "listing.pdf";
    ASSERT_TRUE(exportListingPdf(pdf, letter, bank, "My Bank.syx").ok());
    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
    EXPECT_EQ(0u, test::pdfInfo(pdf, "Page size").find("612 x 792 pts"));

    const auto lines = test::simplifiedLines(test::pdfLayoutText(pdf));
    ASSERT_EQ(53u, lines.size());
    EXPECT_EQ("Korg A3 SysEx File: My Bank.syx", lines[0]);
    EXPECT_EQ("Chain ID: df2c", lines[1]);
    EXPECT_EQ("# : Chain : Name # : Chain : Name", lines[2]);
    for (int k = 0; k < 50; ++k) {
        EXPECT_EQ((listingLine(bank, k) + ' ' + listingLine(bank, k + 50)).simplified(),
                  QString::fromStdString(lines[3 + k]));
    }

    // The printable area starts one inch in; a Courier character is 0.6 em.
    const auto layout = listingLayout(bank, "My Bank.syx", QSizeF(468, 648));
    const double courierAdvance = 0.6 * layout[2].pointSize;
    const std::string boxes = test::pdfWordBoxes(pdf);
    EXPECT_TRUE(hasWordAt(boxes, "Korg", 77, 77)) << boxes;
    EXPECT_TRUE(hasWordAt(boxes, "Chain", 77, 92));
    EXPECT_TRUE(hasWordAt(boxes, "100", 72 + 249, 72 + layout[103].topLeft.y()));
    EXPECT_TRUE(hasWordAt(boxes, "50", 87 + courierAdvance, 72 + layout[102].topLeft.y()));
}

TEST_F(ListingPdf, PrintingUsesTheGivenLayoutAndOnePageWhateverThePrinterSays)
{
    const auto pdf = dir / "printed.pdf";
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    printer.setPageSize(QPageSize(QPageSize::A5));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setCopyCount(3);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    printListing(printer, letter, bank, "Printed");

    EXPECT_EQ("1", test::pdfInfo(pdf, "Pages"));
    EXPECT_EQ(0u, test::pdfInfo(pdf, "Page size").find("612 x 792 pts"));
    EXPECT_EQ("Korg A3 SysEx File: Printed", test::simplifiedLines(test::pdfLayoutText(pdf)).at(0));
    EXPECT_TRUE(hasWordAt(test::pdfWordBoxes(pdf), "Korg", 77, 77));
}

TEST_F(ListingPdf, ExportTellsWhyItCouldNotWrite)
{
    const auto pdf = dir / "no-such-folder" / "listing.pdf";
    const WriteResult nowhere = exportListingPdf(pdf, letter, bank, "x");
    ASSERT_FALSE(nowhere.ok());
    EXPECT_EQ("No such file or directory", nowhere.failure().reason);
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
    const WriteResult noPaper = exportListingPdf(dir / "x.pdf", QPageLayout(), bank, "x");
    ASSERT_FALSE(noPaper.ok());
    EXPECT_EQ("no valid paper size", noPaper.failure().reason);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.pdf"));
}

} // namespace
} // namespace a3
