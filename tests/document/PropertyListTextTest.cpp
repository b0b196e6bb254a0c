// The text form: the exact bytes written, the layouts still read after an
// editor or a mail, and every text that must give nothing.

#include "PropertyListText.h"

#include "PasteboardTypes.h"
#include "QtPrinters.h"

#include <QFile>
#include <gtest/gtest.h>

namespace a3 {
namespace {

// Three patch images' worth of bytes whose Base64 uses '+' and '/'.
QByteArray knownPayload()
{
    QByteArray payload;
    for (int i = 0; i < 192; ++i) {
        payload += static_cast<char>(i * 37 + 11);
    }
    return payload;
}

std::optional<QByteArray> read(const QString& text)
{
    return dataFromPropertyListText(text, patchPasteboardType());
}

// A text form around the given dictionary entries, without declaration or DOCTYPE.
QString plist(const QString& entries)
{
    return QStringLiteral("<plist version=\"1.0\"><dict>%1</dict></plist>").arg(entries);
}

QString entry(const QString& key, const QString& value)
{
    return QStringLiteral("<key>%1</key>%2").arg(key, value);
}

QString patchEntry(const QString& value)
{
    return entry(patchPasteboardType(), value);
}

QString dataEntry(const QString& base64)
{
    return patchEntry(QStringLiteral("<data>%1</data>").arg(base64));
}

// The entry of the patch type with the data 01 02 03.
const QString kValidEntry = dataEntry(QStringLiteral("AQID"));
const QByteArray kValidData("\x01\x02\x03");

// A text form of kValidData padded with spaces to size characters.
QString paddedTo(qsizetype size)
{
    const qsizetype spaces = size - plist(kValidEntry).size();
    return plist(dataEntry(QStringLiteral("AQID") + QString(spaces, u' ')));
}

TEST(TextFormWriter, MatchesTheGoldenFileAndWrapsAtSixtyEightCharacters)
{
    QFile golden(QString::fromUtf8(A3_TEST_DATA_DIR "/patch-text-form.plist"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    EXPECT_EQ(golden.readAll(),
              propertyListText(chainKeyedPasteboardType(0x00af), knownPayload()).toUtf8());
    const QString tail = QStringLiteral("\t</data>\n</dict>\n</plist>\n");
    EXPECT_TRUE(propertyListText(patchPasteboardType(), {}).endsWith("\t<data>\n" + tail));
    const QString oneLine = u'\t' + QString(68, u'/') + u'\n'; // 51 bytes
    EXPECT_TRUE(propertyListText(patchPasteboardType(), QByteArray(51, '\xff'))
                    .endsWith("\t<data>\n" + oneLine + tail));
    EXPECT_TRUE(propertyListText(patchPasteboardType(), QByteArray(52, '\xff'))
                    .endsWith(oneLine + "\t/w==\n" + tail));
}

TEST(TextFormWriter, EscapesTheKeyAndReadsItBack)
{
    for (const QString& key : {QStringLiteral("a<b>&c"), QStringLiteral("a\rb"),
                               QStringLiteral("a\r\nb"), QStringLiteral("\r")}) {
        EXPECT_EQ(QByteArray("xyz"), dataFromPropertyListText(propertyListText(key, "xyz"), key))
            << key.toStdString();
    }
}

TEST(TextFormReader, ReadsTextFormsThatWentThroughAnEditorOrAMail)
{
    const QString written = propertyListText(patchPasteboardType(), knownPayload());
    const QString base64 = QString::fromLatin1(knownPayload().toBase64());
    QString rewrapped = base64;
    for (qsizetype at = rewrapped.size() - rewrapped.size() % 5; at > 0; at -= 5) {
        rewrapped.insert(at, QStringView(at % 2 ? u" \r\n " : u"\n"));
    }
    for (const QString& text : {
             written,
             QString(written).replace(u'\n', QStringLiteral("\r\n")),
             QString(written).replace(u'\t', QStringLiteral("    ")),
             written.section(u'\n', 2), // no XML declaration, no DOCTYPE
             written.section(u'\n', 1), // no XML declaration
             plist(dataEntry(base64)),
             plist(dataEntry(QStringLiteral("\n%1\n").arg(rewrapped))),
             plist(dataEntry(QStringLiteral("<![CDATA[%1]]>").arg(base64))),
         }) {
        EXPECT_EQ(knownPayload(), read(text)) << text.toStdString();
    }
    // Pasted text is characters already, whatever its file was encoded in.
    const QString key = QStringLiteral("Schl\u00fcssel \u4e00");
    for (const char* encoding : {"UTF-8", "UTF-16", "ISO-8859-1", "no-such-encoding"}) {
        const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n")
                                 .arg(QLatin1String(encoding)) +
                             plist(entry(key, QStringLiteral("<data>AQID</data>")));
        EXPECT_EQ(kValidData, dataFromPropertyListText(text, key)) << encoding;
    }
}

// An entry whose value is arrays nested so that the deepest element is at
// the given depth, the plist element being at depth 1.
QString entryNestedTo(int depth)
{
    const int arrays = depth - 2;
    return entry(QStringLiteral("deep"), QStringLiteral("<array>").repeated(arrays) +
                                             QStringLiteral("</array>").repeated(arrays));
}

constexpr int kDeepestNesting = 128;

// The usual DOCTYPE of the text form, without its closing '>'.
const QString kDoctype = QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"");

TEST(TextFormReader, SkipsFurtherEntriesAndTakesTheLastUnderTheKey)
{
    const QString nested =
        QStringLiteral("<array><dict><key>k</key><array><string>&lt;key&gt;</string></array></dict>"
                       "<data>AAAA</data><true/><integer>7</integer></array>");
    for (const QString& text : {
             plist(entry(QStringLiteral("before"), nested) + kValidEntry),
             plist(kValidEntry + entry(QStringLiteral("after"), nested)),
             plist(entry(QStringLiteral("other"), QStringLiteral("<string>x</string>")) +
                   QStringLiteral("<!-- comment --><?pi data?>") + kValidEntry +
                   entry(QStringLiteral("empty"), QStringLiteral("<dict/>"))),
             plist(dataEntry(QStringLiteral("AAAA")) + kValidEntry),
             kDoctype + QStringLiteral(" [<!ELEMENT plist ANY>]>") + plist(kValidEntry),
             paddedTo(kMaxPropertyListTextSize),
             plist(entryNestedTo(kDeepestNesting) + kValidEntry),
         }) {
        EXPECT_EQ(kValidData, read(text)) << text.left(200).toStdString();
    }
}

// Foreign and broken texts, bad Base64, texts over the size limit, and entity
// tricks and deep nesting, refused without expanding or recursing.
TEST(TextFormReader, GivesNothingForAnyOtherText)
{
    const QString byEntity = patchEntry(QStringLiteral("<data>&p;</data>"));
    QString laughs = QStringLiteral("<!ENTITY p0 \"AAAA\">");
    for (int level = 1; level <= 9; ++level) {
        laughs += QStringLiteral("<!ENTITY p%1 \"%2\">")
                      .arg(level)
                      .arg(QStringLiteral("&p%1;").arg(level - 1).repeated(10));
    }
    const QString deep =
        QStringLiteral("<a>").repeated(100000) + QStringLiteral("</a>").repeated(100000);
    // Fewer UTF-16 units than the limit, but more UTF-8 bytes.
    const QString wide =
        QStringLiteral("<!--%1-->").arg(QString(kMaxPropertyListTextSize / 2, u'é'));
    QStringList texts{
        QString(),
        QStringLiteral("Hello, world"),
        QString::fromLatin1(QByteArray("bplist00\xd1\x01\x02\x00\x08", 13)),
        QStringLiteral("<html><dict>%1</dict></html>").arg(kValidEntry),
        QStringLiteral("<plist version=\"1.0\"><array><data>AQID</data></array></plist>"),
        QStringLiteral("<plist version=\"1.0\"><data>AQID</data></plist>"),
        QStringLiteral("<dict>%1</dict>").arg(kValidEntry),
        plist(entry(QStringLiteral("org.a3librarian.A3Librarian.patc"),
                    QStringLiteral("<data>AQID</data>"))),
        plist(patchEntry(QStringLiteral("<string>AQID</string>"))),
        plist(patchEntry(QStringLiteral("<array><data>AQID</data></array>"))),
        plist(patchEntry({})),
        plist(kValidEntry + patchEntry(QStringLiteral("<string>AQID</string>"))),
        plist(QStringLiteral("text") + kValidEntry),
        plist(kValidEntry).chopped(1),
        plist(kValidEntry) + QStringLiteral("<plist/>"),
        plist(kValidEntry) + QStringLiteral("<plist><dict/></plist>"),
        plist(patchEntry(QStringLiteral("<data>AQ<b/>ID</data>"))),
        paddedTo(kMaxPropertyListTextSize + 1),
        plist(entryNestedTo(kDeepestNesting + 1) + kValidEntry),
        wide + plist(kValidEntry),
        QStringLiteral("<!DOCTYPE plist [<!ENTITY p \"AQID\">]>") + plist(byEntity),
        QStringLiteral("<!DOCTYPE plist [%1]>").arg(laughs) +
            plist(patchEntry(QStringLiteral("<data>&p9;</data>"))),
        QStringLiteral("<!DOCTYPE plist [<!ENTITY p SYSTEM \"file:///etc/passwd\">]>") +
            plist(byEntity),
        QStringLiteral("<!DOCTYPE plist [<!ENTITY % q \"<!ENTITY p 'AQID'>\"> %q;]>") +
            plist(byEntity),
        // Left unresolved because the DTD is external, which is never fetched.
        kDoctype + QStringLiteral(">") + plist(byEntity),
        plist(entry(QStringLiteral("deep"), deep) + kValidEntry),
    };
    for (const char* base64 :
         {"AQI*", "A", "AQIDB", "AQ==AQID", "AQID=", "AQ-_", "AQ\xc3\xa9I", "AQ\xe4\xb8\x80I"}) {
        texts.append(plist(dataEntry(QString::fromUtf8(base64))));
    }
    for (const QString& text : texts) {
        EXPECT_EQ(std::nullopt, read(text)) << text.left(200).toStdString();
    }
}

} // namespace
} // namespace a3
