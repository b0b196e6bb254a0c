#include "PrintView.h"

#include "PrintLayout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace a3 {

std::unique_ptr<PrintView> PrintView::printViewWithPrintInfo(const QPageLayout& pageLayout,
                                                             const A3AllDataSource& bank,
                                                             const QString& displayName)
{
    const PrintFrame frame = frameWithPrintInfo(pageLayout);
    return std::unique_ptr<PrintView>(
        new PrintView(QRectF(0, 0, frame.width, frame.height), bank, displayName));
}

PrintView::PrintView(QRectF bounds, const A3AllDataSource& bank, const QString& displayName)
    : _bounds(bounds)
    , _bank(bank)
    , _displayName(displayName)
{}

QRectF PrintView::bounds() const
{
    return _bounds;
}

void PrintView::drawRect(QPainter& painter) const
{
    // Qt sizes a font for the device it paints on, so each text is drawn with
    // the painter's units taken from points back to device pixels: glyphs are
    // then shaped at the device's full resolution, not at a dozen pixels.
    const double pixelWidth = 72.0 / painter.device()->logicalDpiX();
    const double pixelHeight = 72.0 / painter.device()->logicalDpiY();
    for (const PrintedText& text : listingLayout(_bank, _displayName, _bounds.size())) {
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
