#include "PropertyListText.h"

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
    // Reads the characters of the text as they are: an XML reader given
    // bytes would decode them by the encoding the XML declaration names,
    // which says nothing about a text that is characters already (and would
    // refuse one that names UTF-16 or an encoding it does not know).
    explicit PropertyListReader(const QString& text)
        : _xml(text)
    {}

    // Every entry of the root dictionary. The last entry under a key wins,
    // as when a dictionary is built from the entries in order; a value that
    // is not data, or not valid Base64, counts as no value.
    std::optional<PropertyListEntries> entries()
    {
        if (!nextTag() || !isStartOf(u"plist") || !nextTag() || !isStartOf(u"dict")) {
            return std::nullopt;
        }
        PropertyListEntries entries;
        while (nextTag() && _xml.isStartElement()) {
            if (!isStartOf(u"key")) {
                return std::nullopt;
            }
            const std::optional<QString> entryKey = elementText();
            if (!entryKey || !nextTag() || !_xml.isStartElement()) {
                return std::nullopt;
            }
            if (isStartOf(u"data")) {
                const std::optional<QString> base64 = elementText();
                if (!base64) {
                    return std::nullopt;
                }
                entries.insert_or_assign(*entryKey, decodedBase64(*base64));
            } else {
                entries.insert_or_assign(*entryKey, std::nullopt);
                if (!skipElement()) {
                    return std::nullopt;
                }
            }
        }
        // The end of the dictionary, then that of the plist, and nothing after.
        if (!_xml.isEndElement() || !nextTag() || !_xml.isEndElement()) {
            return std::nullopt;
        }
        while (!_xml.atEnd()) {
            next();
        }
        if (_xml.hasError()) {
            return std::nullopt;
        }
        return entries;
    }

private:
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

std::optional<PropertyListEntries> propertyListEntries(const QString& text)
{
    // UTF-8 needs at least one byte for each UTF-16 unit, so a string with too
    // many units is refused without encoding it.
    if (text.size() > kMaxPropertyListTextSize || text.toUtf8().size() > kMaxPropertyListTextSize) {
        return std::nullopt;
    }
    return PropertyListReader(text).entries();
}

std::optional<QByteArray> dataFromPropertyListText(const QString& text, const QString& key)
{
    const std::optional<PropertyListEntries> entries = propertyListEntries(text);
    if (!entries) {
        return std::nullopt;
    }
    const auto found = entries->find(key);
    return found == entries->end() ? std::nullopt : found->second;
}

} // namespace a3
