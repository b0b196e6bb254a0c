#include "PasteboardTypes.h"

namespace a3 {

QString patchPasteboardType()
{
    return QLatin1String(kApplicationIdentifier) + QLatin1String(".patch");
}

QString chainKeyedPasteboardType(std::uint16_t chainChecksum)
{
    return QStringLiteral("%1.%2")
        .arg(patchPasteboardType())
        .arg(chainChecksum, 4, 16, QLatin1Char('0'));
}

} // namespace a3
