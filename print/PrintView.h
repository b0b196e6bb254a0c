#pragma once

#include "A3AllDataSource.h"

#include <QPageLayout>
#include <QSizeF>
#include <QString>

class QPainter;

namespace a3 {

// The listing of one bank on the printable area of one page. Made for one
// print operation; it refers to the bank, which must outlive it.
class PrintView
{
public:
    // For the printable area of the page layout.
    PrintView(const QPageLayout& pageLayout, const A3AllDataSource& bank,
              const QString& displayName);

    // Paints the whole listing. The painter's origin must be the top-left of
    // the printable area, with one unit a point.
    void paint(QPainter& painter) const;

private:
    QSizeF _printableArea; // in points
    const A3AllDataSource& _bank;
    QString _displayName;
};

} // namespace a3
