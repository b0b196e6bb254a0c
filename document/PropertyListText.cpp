#include "PropertyListText.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace a3 {

namespace {

constexpr qsizetype kBase64LineLength = 68; // the writer's line length for a top-level entry
// A text form nests three deep (plist, dict, data); further entries may nest a
// little more, a hostile text thousands of times more.
constexpr int kMaxNestingDepth = 128;

// A reader turns a carriage return written as it is into a line feed, so it
// is written as a character reference.
QByteArray escapedXmlText(QString text)
{
    return text.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"))
        .replace(u'\r', QStringLiteral("&#13;"))
        .toUtf8();
}

// Whitespace is layout that editors and mail change freely, so it is dropped;
// every other character outside the Base64 alphabet makes the value invalid.
std::optional<QByteArray> decodedBase64(QStringView text)
{
    QByteArray base64;
    base64.reserve(text.size());
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
            continue;
        }
        base64 += c.toLatin1(); // beyond Latin-1 a zero byte, which the decoder refuses
    }
    // The decoder silently drops a lone character after the last group of
    // four, although it cannot stand for a whole byte.
    if (base64.size() % 4 == 1) {
        return std::nullopt;
    }
    auto result = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!result) {
        return std::nullopt;
    }
    return std::move(result.decoded);
}

// Walks the tokens of an XML property list without recursion. A refusal
// raises an error on the XML reader, which ends the walk for good.
class PropertyListReader
{
public:
    explicit PropertyListReader(const QByteArray& text)
        : _xml(text)
    {}

    // The last entry under key wins, as when a dictionary is built from the
    // entries in order; an entry whose value is not data counts as no value.
    std::optional<QByteArray> dataFor(const QString& key)
    {
        std::optional<QByteArray> value;
        return walk(&key, value, nullptr) ? value : std::nullopt;
    }

    // The keys of the dictionary's entries, in order; nothing for a text
    // that dataFor() refuses whatever the key.
    std::optional<QStringList> keys()
    {
        QStringList found;
        std::optional<QByteArray> unused;
        return walk(nullptr, unused, &found) ? std::optional(found) : std::nullopt;
    }

private:
    // Reads the value under *key into value, or collects every key into
    // *keys; false when the text is refused.
    bool walk(const QString* key, std::optional<QByteArray>& value, QStringList* keys)
    {
        if (!nextTag() || !isStartOf(u"plist") || !nextTag() || !isStartOf(u"dict")) {
            return false;
        }
        while (nextTag() && _xml.isStartElement()) {
            if (!isStartOf(u"key")) {
                return false;
            }
            const std::optional<QString> entryKey = elementText();
            if (!entryKey || !nextTag() || !_xml.isStartElement()) {
                return false;
            }
            if (keys) {
                keys->append(*entryKey);
            }
            const bool wanted = key && *entryKey == *key;
            if (wanted && isStartOf(u"data")) {
                const std::optional<QString> base64 = elementText();
                if (!base64) {
                    return false;
                }
                value = decodedBase64(*base64);
            } else {
                if (wanted) {
                    value.reset();
                }
                if (!skipElement()) {
                    return false;
                }
            }
        }
        // The end of the dictionary, then that of the plist, and nothing after.
        if (!_xml.isEndElement() || !nextTag() || !_xml.isEndElement()) {
            return false;
        }
        while (!_xml.atEnd()) {
            next();
        }
        return !_xml.hasError();
    }

    QXmlStreamReader::TokenType next()
    {
        const QXmlStreamReader::TokenType token = _xml.readNext();
        switch (token) {
        case QXmlStreamReader::StartElement:
            if (++_depth > kMaxNestingDepth) {
                return refuse();
            }
            break;
        case QXmlStreamReader::EndElement:
            --_depth;
            break;
        case QXmlStreamReader::DTD:
            // The XML reader expands entities declared in the document itself,
            // which lets a short text grow without bound.
            if (!_xml.entityDeclarations().isEmpty()) {
                return refuse();
            }
            break;
        case QXmlStreamReader::EntityReference: // one it could not resolve
            return refuse();
        default:
            break;
        }
        return token;
    }

    QXmlStreamReader::TokenType refuse()
    {
        _xml.raiseError();
        return QXmlStreamReader::Invalid;
    }

    // The next start or end tag; between them only whitespace, comments and
    // processing instructions may stand.
    bool nextTag()
    {
        for (;;) {
            switch (next()) {
            case QXmlStreamReader::StartElement:
            case QXmlStreamReader::EndElement:
                return true;
            case QXmlStreamReader::Characters:
                if (!_xml.isWhitespace()) {
                    refuse();
                    return false;
                }
                break;
            case QXmlStreamReader::Invalid:
            case QXmlStreamReader::EndDocument:
                return false;
            default:
                break;
            }
        }
    }

    bool isStartOf(QStringView name) const
    {
        return _xml.isStartElement() && _xml.qualifiedName() == name;
    }

    // The text of the element just started, which may hold no element.
    std::optional<QString> elementText()
    {
        QString text;
        for (;;) {
            switch (next()) {
            case QXmlStreamReader::Characters:
                text += _xml.text();
                break;
            case QXmlStreamReader::EndElement:
                return text;
            case QXmlStreamReader::StartElement:
                refuse();
                return std::nullopt;
            case QXmlStreamReader::Invalid:
                return std::nullopt;
            default:
                break;
            }
        }
    }

    // Skips the element just started with everything in it.
    bool skipElement()
    {
        const int depth = _depth;
        while (_depth >= depth) {
            if (next() == QXmlStreamReader::Invalid) {
                return false;
            }
        }
        return true;
    }

    QXmlStreamReader _xml;
    int _depth = 0;
};

} // namespace

QString propertyListText(const QString& key, const QByteArray& data)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n"
                      "<dict>\n"
                      "\t<key>";
    text += escapedXmlText(key);
    text += "</key>\n\t<data>\n";
    const QByteArray base64 = data.toBase64();
    for (qsizetype at = 0; at < base64.size(); at += kBase64LineLength) {
        text += '\t';
        text += base64.mid(at, kBase64LineLength);
        text += '\n';
    }
    text += "\t</data>\n"
            "</dict>\n"
            "</plist>\n";
    return QString::fromUtf8(text);
}

namespace {

// The text as UTF-8, when it is within the size limit.
std::optional<QByteArray> limitedUtf8(const QString& text)
{
    // UTF-8 needs at least one byte for each UTF-16 unit, so a string with too
    // many units is refused without encoding it.
    if (text.size() > kMaxPropertyListTextSize) {
        return std::nullopt;
    }
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > kMaxPropertyListTextSize) {
        return std::nullopt;
    }
    return utf8;
}

} // namespace

std::optional<QByteArray> dataFromPropertyListText(const QString& text, const QString& key)
{
    const std::optional<QByteArray> utf8 = limitedUtf8(text);
    return utf8 ? PropertyListReader(*utf8).dataFor(key) : std::nullopt;
}

QStringList propertyListKeys(const QString& text)
{
    const std::optional<QByteArray> utf8 = limitedUtf8(text);
    return utf8 ? PropertyListReader(*utf8).keys().value_or(QStringList()) : QStringList();
}

} // namespace a3
