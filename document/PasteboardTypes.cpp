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

std::optional<PatchTypeChain> patchTypeChain(const QString& type)
{
    const QString plain = patchPasteboardType();
    if (type == plain) {
        return PatchTypeChain{};
    }
    const QStringView suffix = QStringView(type).mid(plain.size());
    constexpr qsizetype kDigits = 4;
    if (!type.startsWith(plain) || suffix.size() != 1 + kDigits || suffix[0] != u'.') {
        return std::nullopt;
    }
    std::uint16_t checksum = 0;
    for (const QChar c : suffix.mid(1)) {
        const char16_t unit = c.unicode();
        const bool digit = unit >= u'0' && unit <= u'9';
        if (!digit && !(unit >= u'a' && unit <= u'f')) {
            return std::nullopt; // the type is written in lowercase only
        }
        checksum =
            static_cast<std::uint16_t>(checksum * 16 + (digit ? unit - u'0' : unit - u'a' + 10));
    }
    return PatchTypeChain{true, checksum};
}

} // namespace a3
