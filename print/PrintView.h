#pragma once

#include "A3AllDataSource.h"

#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <memory>

class QPainter;

namespace a3 {

// The listing of one bank on the printable area of one page. Made for one
// print operation; it refers to the bank, which must outlive it.
class PrintView
{
public:
    static std::unique_ptr<PrintView> printViewWithPrintInfo(const QPageLayout& pageLayout,
                                                             const A3AllDataSource& bank,
                                                             const QString& displayName);

    // (0, 0, W, H): the printable area in points.
    QRectF bounds() const;

    // Draws the whole listing. The painter's origin must be the top-left of
    // the printable area, with one unit a point.
    void drawRect(QPainter& painter) const;

private:
    PrintView(QRectF bounds, const A3AllDataSource& bank, const QString& displayName);

    QRectF _bounds;
    const A3AllDataSource& _bank;
    QString _displayName;
};

} // namespace a3
