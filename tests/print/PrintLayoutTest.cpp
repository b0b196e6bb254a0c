// The listing's layout: the printable area, and where each text goes in
// which font, to the hundredth of a point.

#include "PrintLayout.h"

#include "A3AllDataSource.h"
#include "PrintView.h"

#include <QRectF>
#include <gtest/gtest.h>

namespace a3 {
namespace {

constexpr double kHundredth = 0.005;

QPageLayout pointLayout(QPageSize::PageSizeId paper, QPageLayout::Orientation orientation,
                        QMarginsF margins)
{
    return QPageLayout(QPageSize(paper), orientation, margins, QPageLayout::Point);
}

TEST(PrintFrame, IsThePaperLessTheMarginsSummedInSinglePrecision)
{
    const struct
    {
        QPageLayout layout;
        PrintFrame frame;
    } cases[] = {
        {pointLayout(QPageSize::Letter, QPageLayout::Portrait, QMarginsF(72, 72, 72, 72)),
         {72, 72, 468, 648}},
        // A4 landscape is 842 by 595; margins left 10, top 20, right 30, bottom 40.
        {pointLayout(QPageSize::A4, QPageLayout::Landscape, QMarginsF(10, 20, 30, 40)),
         {10, 40, 802, 535}},
        // One inch in millimetres is 72 points.
        {QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                     QMarginsF(25.4, 25.4, 25.4, 25.4), QPageLayout::Millimeter),
         {72, 72, 451, 698}},
    };
    for (const auto& [layout, expected] : cases) {
        const PrintFrame frame = printableFrame(layout);
        EXPECT_DOUBLE_EQ(expected.x, frame.x);
        EXPECT_DOUBLE_EQ(expected.y, frame.y);
        EXPECT_DOUBLE_EQ(expected.width, frame.width);
        EXPECT_DOUBLE_EQ(expected.height, frame.height);
    }
}

// Without a default printer, the paper of the place the user is in.
TEST(DefaultPageLayout, TakesLetterWhereLetterIsTheCustomAndA4Elsewhere)
{
    for (const auto territory : {QLocale::UnitedStates, QLocale::Canada, QLocale::Mexico}) {
        EXPECT_EQ(QPageSize::Letter, paperForTerritory(territory));
    }
    for (const auto territory : {QLocale::Germany, QLocale::UnitedKingdom, QLocale::AnyTerritory}) {
        EXPECT_EQ(QPageSize::A4, paperForTerritory(territory));
    }
}

class Listing : public ::testing::Test
{
protected:
    QList<PrintedText> layout(double height) const
    {
        return listingLayout(bank, "My Bank.syx", QSizeF(468, height));
    }
    A3AllDataSource bank = A3AllDataSource::fallbackBank(); // every patch "Metalic" on chain 3
};

// The line and title texts are the bank's; the layout places them in their
// fonts. The chain ID's text is the PDF test's to read.
TEST_F(Listing, ReproducesTheWorkedExampleOfALetterPage)
{
    for (int i = 0; i < 100; ++i) {
        bank.setPatchName(QString::number(i + 1).toStdU16String(), i);
    }
    const auto texts = layout(648);
    ASSERT_EQ(104, texts.size());
    for (int i = 2; i < texts.size(); ++i) {
        EXPECT_EQ("Courier", texts[i].fontFamily);
        EXPECT_EQ(9.960000038146973, texts[i].pointSize);
    }
    EXPECT_EQ("Korg A3 SysEx File: My Bank.syx", texts[0].text);
    for (const int title : {0, 1}) {
        EXPECT_EQ("Helvetica", texts[title].fontFamily);
        EXPECT_EQ(12, texts[title].pointSize);
    }
    EXPECT_EQ(QPointF(5, 5), texts[0].topLeft);
    EXPECT_EQ(QPointF(5, 20), texts[1].topLeft);
    EXPECT_EQ("  # : Chain : Name", texts[2].text);
    EXPECT_EQ(texts[2].text, texts[3].text);
    EXPECT_EQ(QPointF(15, 35), texts[2].topLeft);
    EXPECT_EQ(QPointF(249, 35), texts[3].topLeft);

    // Drawing order: patch k + 1 then patch k + 51 on each line. The size,
    // the step and the first line are single-precision values; the later
    // lines add the step in double precision.
    for (int k = 0; k < 50; ++k) {
        const PrintedText& left = texts[4 + 2 * k];
        const PrintedText& right = texts[5 + 2 * k];
        EXPECT_EQ(listingLine(bank, k), left.text);
        EXPECT_EQ(listingLine(bank, k + 50), right.text);
        EXPECT_EQ(15, left.topLeft.x());
        EXPECT_EQ(249, right.topLeft.x());
        EXPECT_NEAR(46.92156982421875 + 11.921568870544434 * k, left.topLeft.y(), 1e-9);
        EXPECT_EQ(left.topLeft.y(), right.topLeft.y());
    }
    EXPECT_EQ(" 51 :  03   : 51     ", texts[5].text);
    EXPECT_EQ("100 :  03   : 100    ", texts[103].text);
}

// On every paper a user may choose, every text starts inside the printable
// area, the patch lines end inside it and the last ones above its bottom.
TEST_F(Listing, FitsThePrintableAreaOfEveryPaper)
{
    for (const auto paper : {QPageSize::Letter, QPageSize::Legal, QPageSize::A4, QPageSize::A5}) {
        for (const auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
            for (const double margin : {72.0, 18.0, 0.1}) {
                const QPageLayout page =
                    pointLayout(paper, orientation, QMarginsF(margin, margin, margin, margin));
                const PrintFrame frame = printableFrame(page);
                SCOPED_TRACE(page.pageSize().name().toStdString() + " " +
                             std::to_string(orientation) + " " + std::to_string(margin));
                for (const PrintedText& text :
                     listingLayout(bank, "My Bank.syx", QSizeF(frame.width, frame.height))) {
                    EXPECT_GE(text.topLeft.x(), 0) << text.text.toStdString();
                    // Courier's characters are 0.6 em wide.
                    if (text.fontFamily == QLatin1String("Courier")) {
                        EXPECT_LE(text.topLeft.x() +
                                      0.6 * text.pointSize * static_cast<double>(text.text.size()),
                                  frame.width)
                            << text.text.toStdString();
                    }
                    EXPECT_GE(text.topLeft.y(), 0) << text.text.toStdString();
                    EXPECT_LE(text.topLeft.y() + text.pointSize, frame.height)
                        << text.text.toStdString();
                }
            }
        }
    }
}

TEST_F(Listing, CourierSizeAndLineStepFollowThePrintableHeight)
{
    for (const double height : {0.0, 120.0, 200.0}) {
        EXPECT_EQ(1, layout(height)[2].pointSize) << height;
    }
    EXPECT_EQ(2, layout(250)[2].pointSize);
    EXPECT_NEAR(12.84, layout(792)[2].pointSize, kHundredth);

    // At 40 points the step is 0: every line sits on the header line; below
    // it the lines climb above the header.
    const auto flat = layout(40);
    EXPECT_EQ(35, flat[4].topLeft.y());
    EXPECT_EQ(35, flat[103].topLeft.y());
    const auto climbing = layout(30);
    EXPECT_LT(climbing[103].topLeft.y(), climbing[4].topLeft.y());
    EXPECT_LT(climbing[4].topLeft.y(), 35);
}

} // namespace
} // namespace a3
