#include "PrintLayout.h"

#include "PatchText.h"

#include <QMarginsF>
#include <QPrinterInfo>
#include <QRectF>
#include <algorithm>

namespace a3 {
namespace {

constexpr int kLinesPerColumn = static_cast<int>(kPatchCount / 2);
constexpr double kMargin = 72; // one inch
constexpr double kTitleSize = 12;
constexpr double kHeaderY = 35;
constexpr double kBottomGap = 5;
constexpr double kColumnIndent = 15;

} // namespace

PrintFrame printableFrame(const QPageLayout& pageLayout)
{
    const QMarginsF margins = pageLayout.margins(QPageLayout::Point);
    const float top = static_cast<float>(margins.top());
    const float left = static_cast<float>(margins.left());
    const float bottom = static_cast<float>(margins.bottom());
    const float right = static_cast<float>(margins.right());
    const QSizeF paper = pageLayout.fullRect(QPageLayout::Point).size();
    return {left, bottom, paper.width() - (left + right), paper.height() - (top + bottom)};
}

QPageSize::PageSizeId paperForTerritory(QLocale::Territory territory)
{
    static constexpr QLocale::Territory kLetterTerritories[] = {
        QLocale::Belize,       QLocale::Canada,     QLocale::Chile,       QLocale::Colombia,
        QLocale::CostaRica,    QLocale::ElSalvador, QLocale::Guatemala,   QLocale::Mexico,
        QLocale::Nicaragua,    QLocale::Panama,     QLocale::Philippines, QLocale::PuertoRico,
        QLocale::UnitedStates, QLocale::Venezuela};
    return std::ranges::find(kLetterTerritories, territory) != std::end(kLetterTerritories)
               ? QPageSize::Letter
               : QPageSize::A4;
}

QPageLayout defaultPageLayout()
{
    QPageSize paper(paperForTerritory(QLocale::system().territory()));
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (!printer.isNull() && printer.defaultPageSize().isValid()) {
        paper = printer.defaultPageSize();
    }
    return QPageLayout(paper, QPageLayout::Portrait, QMarginsF(kMargin, kMargin, kMargin, kMargin),
                       QPageLayout::Point);
}

QString listingLine(const A3AllDataSource& bank, int index)
{
    return QString::fromStdString(
        patchLine(index, bank.chainAtIndex(index), bank.patchNameAt(index)));
}

QList<PrintedText> listingLayout(const A3AllDataSource& bank, const QString& displayName,
                                 QSizeF bounds)
{
    const double width = bounds.width();
    const double height = bounds.height();
    const QString titleFont = QStringLiteral("Helvetica");
    const QString listingFont = QStringLiteral("Courier");
    // The listing's size follows the page height, down to a floor of 1 point.
    const double listingSize = std::max(static_cast<float>(height / 50 - 3), 1.0f);
    // The band from the header to 5 points above the bottom is cut into 51
    // steps: the header's and one for each of the 50 lines.
    const float step = static_cast<float>((height - kHeaderY - kBottomGap) / 51);
    const QString header = QString::fromLatin1(kListingHeader);
    const double rightColumn = width / 2 + kColumnIndent;

    QList<PrintedText> texts;
    texts.reserve(4 + 2 * kLinesPerColumn);
    texts.append({QString::fromStdString(listingTitle(displayName.toStdString())), titleFont,
                  kTitleSize, QPointF(5, 5)});
    texts.append({QString::fromStdString(chainIdText(bank.chainChecksum())), titleFont, kTitleSize,
                  QPointF(5, 20)});
    texts.append({header, listingFont, listingSize, QPointF(kColumnIndent, kHeaderY)});
    texts.append({header, listingFont, listingSize, QPointF(rightColumn, kHeaderY)});
    double y = static_cast<float>(kHeaderY) + step;
    for (int k = 0; k < kLinesPerColumn; ++k) {
        texts.append({listingLine(bank, k), listingFont, listingSize, QPointF(kColumnIndent, y)});
        texts.append({listingLine(bank, k + kLinesPerColumn), listingFont, listingSize,
                      QPointF(rightColumn, y)});
        y += step;
    }
    return texts;
}

} // namespace a3
