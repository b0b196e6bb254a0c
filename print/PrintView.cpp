#include "PrintView.h"

#include "PrintLayout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace a3 {
namespace {

QSizeF printableArea(const QPageLayout& pageLayout)
{
    const PrintFrame frame = printableFrame(pageLayout);
    return {frame.width, frame.height};
}

} // namespace

PrintView::PrintView(const QPageLayout& pageLayout, const A3AllDataSource& bank,
                     const QString& displayName)
    : _printableArea(printableArea(pageLayout))
    , _bank(bank)
    , _displayName(displayName)
{}

void PrintView::paint(QPainter& painter) const
{
    // Qt sizes a font for the device it paints on, so each text is drawn with
    // the painter's units taken from points back to device pixels: glyphs are
    // then shaped at the device's full resolution, not at a dozen pixels.
    const double pixelWidth = 72.0 / painter.device()->logicalDpiX();
    const double pixelHeight = 72.0 / painter.device()->logicalDpiY();
    for (const PrintedText& text : listingLayout(_bank, _displayName, _printableArea)) {
        QFont font(text.fontFamily);
        font.setPointSizeF(text.pointSize);
        const QFontMetricsF metrics(font, painter.device());
        painter.save();
        painter.translate(text.topLeft);
        painter.scale(pixelWidth, pixelHeight);
        painter.setFont(font);
        painter.drawText(QPointF(0, metrics.ascent()), text.text);
        painter.restore();
    }
}

} // namespace a3
