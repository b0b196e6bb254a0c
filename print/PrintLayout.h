#pragma once

#include "A3AllDataSource.h"

#include <QList>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPointF>
#include <QSizeF>
#include <QString>

namespace a3 {

// The printable area of one page in points. x is the left margin and y the
// bottom margin, measured from the paper's bottom-left corner.
struct PrintFrame
{
    double x;
    double y;
    double width;
    double height;
};

// The margins are taken in single precision and each opposite pair is summed
// before it is subtracted from the paper size in double precision.
PrintFrame printableFrame(const QPageLayout& pageLayout);

// The paper that a territory uses when no printer says otherwise: Letter
// where the common data says US-Letter, A4 everywhere else.
QPageSize::PageSizeId paperForTerritory(QLocale::Territory territory);

// Portrait, 72-point margins on every side, on the default printer's paper or
// else the paper of the system locale's territory.
QPageLayout defaultPageLayout();

// The listing's line for the zero-based patch index, "%3d :  %@   : %@".
QString listingLine(const A3AllDataSource& bank, int index);

// One text of the listing: topLeft is the top-left corner of the text in
// points from the top-left of the printable area, y growing downward.
struct PrintedText
{
    QString text;
    QString fontFamily;
    double pointSize;
    QPointF topLeft;
};

// The whole listing for a printable area of the given size, in drawing order:
// title, chain ID, the two column headers, then patch k and patch k + 50 for
// each of the 50 lines.
QList<PrintedText> listingLayout(const A3AllDataSource& bank, const QString& displayName,
                                 QSizeF bounds);

} // namespace a3
