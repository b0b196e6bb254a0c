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

QString textForm(const QByteArray& data)
{
    return propertyListText(patchPasteboardType(), data);
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

// The entry of the patch type with the data 01 02 03.
QString validEntry()
{
    return patchEntry(QStringLiteral("<data>AQID</data>"));
}
const QByteArray kValidData("\x01\x02\x03");

TEST(TextFormWriter, MatchesTheGoldenFileByteForByte)
{
    QFile golden(QString::fromUtf8(A3_TEST_DATA_DIR "/patch-text-form.plist"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    EXPECT_EQ(golden.readAll(),
              propertyListText(chainKeyedPasteboardType(0x00af), knownPayload()).toUtf8());
}

TEST(TextFormWriter, EmptyDataAndLinesOfExactlySixtyEightCharacters)
{
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                        "<plist version=\"1.0\">\n"
                                        "<dict>\n"
                                        "\t<key>org.a3librarian.A3Librarian.patch</key>\n"
                                        "\t<data>\n");
    const QString tail = QStringLiteral("\t</data>\n</dict>\n</plist>\n");
    EXPECT_EQ(head + tail, textForm({}));

    const QByteArray oneLine(51, '\xff'); // 68 Base64 characters
    EXPECT_EQ(head + u'\t' + QString(68, u'/') + u'\n' + tail, textForm(oneLine));
    const QByteArray twoLines(52, '\xff');
    EXPECT_EQ(head + u'\t' + QString(68, u'/') + QStringLiteral("\n\t/w==\n") + tail,
              textForm(twoLines));
}

TEST(TextFormWriter, EscapesTheKeyAndReadsItBack)
{
    const QString key = QStringLiteral("a<b>&c");
    const QString text = propertyListText(key, "xyz");
    EXPECT_TRUE(text.contains(QStringLiteral("<key>a&lt;b&gt;&amp;c</key>")));
    EXPECT_EQ(QByteArray("xyz"), dataFromPropertyListText(text, key));
}

TEST(TextFormWriter, KeepsCarriageReturnsInTheKey)
{
    for (const QString& key : {QStringLiteral("a\rb"), QStringLiteral("a\r\nb"),
                               QStringLiteral("\r"), QStringLiteral("a\nb")}) {
        EXPECT_EQ(QByteArray("xyz"), dataFromPropertyListText(propertyListText(key, "xyz"), key))
            << key.toStdString();
    }
    EXPECT_TRUE(propertyListText(QStringLiteral("a\rb"), "xyz")
                    .contains(QStringLiteral("<key>a&#13;b</key>")));
}

TEST(TextFormReader, ReadsTextFormsThatWentThroughAnEditorOrAMail)
{
    const QString written = textForm(knownPayload());
    const QString base64 = QString::fromLatin1(knownPayload().toBase64());
    QString rewrapped = base64;
    for (qsizetype at = rewrapped.size() - rewrapped.size() % 5; at > 0; at -= 5) {
        rewrapped.insert(at, QStringView(at % 2 ? u" \r\n " : u"\n"));
    }
    const QStringList texts{
        written,
        QString(written).replace(u'\n', QStringLiteral("\r\n")),
        QString(written).replace(u'\t', QStringLiteral("    ")),
        written.section(u'\n', 2), // no XML declaration, no DOCTYPE
        written.section(u'\n', 1), // no XML declaration
        plist(patchEntry(QStringLiteral("<data>%1</data>").arg(base64))),
        plist(patchEntry(QStringLiteral("<data>\n%1\n</data>").arg(rewrapped))),
        plist(patchEntry(QStringLiteral("<data><![CDATA[%1]]></data>").arg(base64))),
    };
    for (const QString& text : texts) {
        EXPECT_EQ(knownPayload(), read(text)) << text.toStdString();
    }
}

TEST(TextFormReader, ReadsTheTextAsItStandsWhateverEncodingItsDeclarationNames)
{
    // Pasted text is characters already, whatever its file was encoded in.
    const QString key = QStringLiteral("Schl\u00fcssel \u4e00");
    for (const char* encoding : {"UTF-8", "UTF-16", "ISO-8859-1", "no-such-encoding"}) {
        const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n")
                                 .arg(QLatin1String(encoding)) +
                             plist(entry(key, QStringLiteral("<data>AQID</data>")));
        EXPECT_EQ(kValidData, dataFromPropertyListText(text, key)) << encoding;
    }
}

TEST(TextFormReader, SkipsFurtherEntriesWhateverTheyHold)
{
    const QString nested =
        QStringLiteral("<array><dict><key>k</key><array><string>&lt;key&gt;</string></array></dict>"
                       "<data>AAAA</data><true/><integer>7</integer></array>");
    const QStringList texts{
        plist(entry(QStringLiteral("before"), nested) + validEntry()),
        plist(validEntry() + entry(QStringLiteral("after"), nested)),
        plist(entry(QStringLiteral("other"), QStringLiteral("<string>x</string>")) +
              QStringLiteral("<!-- comment --><?pi data?>") + validEntry() +
              entry(QStringLiteral("empty"), QStringLiteral("<dict/>"))),
    };
    for (const QString& text : texts) {
        EXPECT_EQ(kValidData, read(text)) << text.toStdString();
    }
    // The last entry under the key counts, as when a dictionary is built.
    EXPECT_EQ(kValidData,
              read(plist(patchEntry(QStringLiteral("<data>AAAA</data>")) + validEntry())));
    EXPECT_EQ(std::nullopt,
              read(plist(validEntry() + patchEntry(QStringLiteral("<string>AQID</string>")))));
}

TEST(TextFormReader, GivesNothingForForeignOrBrokenTexts)
{
    const QString data = validEntry();
    const QStringList texts{
        QString(),
        QStringLiteral("Hello, world"),
        QString::fromLatin1(QByteArray("bplist00\xd1\x01\x02\x00\x08", 13)),
        QStringLiteral("<html><dict>%1</dict></html>").arg(data),
        QStringLiteral("<plist version=\"1.0\"><array><data>AQID</data></array></plist>"),
        QStringLiteral("<plist version=\"1.0\"><data>AQID</data></plist>"),
        QStringLiteral("<dict>%1</dict>").arg(data),
        plist(entry(QStringLiteral("org.a3librarian.A3Librarian.patc"),
                    QStringLiteral("<data>AQID</data>"))),
        plist(patchEntry(QStringLiteral("<string>AQID</string>"))),
        plist(patchEntry(QStringLiteral("<array><data>AQID</data></array>"))),
        plist(patchEntry({})),
        plist(QStringLiteral("text") + data),
        plist(data).chopped(1),
        plist(data) + QStringLiteral("<plist/>"),
        plist(data) + QStringLiteral("<plist><dict/></plist>"),
        plist(patchEntry(QStringLiteral("<data>AQ<b/>ID</data>"))),
    };
    for (const QString& text : texts) {
        EXPECT_EQ(std::nullopt, read(text)) << text.toStdString();
    }
}

TEST(TextFormReader, GivesNothingForInvalidBase64)
{
    for (const char* base64 :
         {"AQI*", "A", "AQIDB", "AQ==AQID", "AQID=", "AQ-_", "AQ\xc3\xa9I", "AQ\xe4\xb8\x80I"}) {
        EXPECT_EQ(std::nullopt,
                  read(plist(patchEntry(
                      QStringLiteral("<data>%1</data>").arg(QString::fromUtf8(base64))))))
            << base64;
    }
}

TEST(TextFormReader, RefusesTextsOverOneMebibyteBeforeParsing)
{
    const QString head = QStringLiteral("<plist version=\"1.0\"><dict><key>%1</key><data>AQID")
                             .arg(patchPasteboardType());
    const QString tail = QStringLiteral("</data></dict></plist>");
    const auto padded = [&](qsizetype size) {
        return head + QString(size - head.size() - tail.size(), u' ') + tail;
    };
    EXPECT_EQ(kValidData, read(padded(kMaxPropertyListTextSize)));
    EXPECT_EQ(std::nullopt, read(padded(kMaxPropertyListTextSize + 1)));
    // Fewer UTF-16 units than the limit, but more UTF-8 bytes.
    const QString comment =
        QStringLiteral("<!--%1-->").arg(QString(kMaxPropertyListTextSize / 2, u'é'));
    EXPECT_LT(comment.size(), kMaxPropertyListTextSize);
    EXPECT_EQ(std::nullopt, read(comment + plist(validEntry())));
}

TEST(TextFormReader, RefusesEntityTricksAndDeepNestingWithoutExpandingOrRecursing)
{
    const QString data = patchEntry(QStringLiteral("<data>&p;</data>"));
    QString laughs = QStringLiteral("<!ENTITY p0 \"AAAA\">");
    for (int level = 1; level <= 9; ++level) {
        laughs += QStringLiteral("<!ENTITY p%1 \"%2\">")
                      .arg(level)
                      .arg(QStringLiteral("&p%1;").arg(level - 1).repeated(10));
    }
    const QString doctype = QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"");
    const QString deep =
        QStringLiteral("<a>").repeated(100000) + QStringLiteral("</a>").repeated(100000);
    const QStringList texts{
        // Would be valid data if the entity were expanded.
        QStringLiteral("<!DOCTYPE plist [<!ENTITY p \"AQID\">]>") + plist(data),
        QStringLiteral("<!DOCTYPE plist [%1]>").arg(laughs) +
            plist(patchEntry(QStringLiteral("<data>&p9;</data>"))),
        QStringLiteral("<!DOCTYPE plist [<!ENTITY p SYSTEM \"file:///etc/passwd\">]>") +
            plist(data),
        QStringLiteral("<!DOCTYPE plist [<!ENTITY % q \"<!ENTITY p 'AQID'>\"> %q;]>") + plist(data),
        // Left unresolved because the DTD is external, which is never fetched.
        doctype + QStringLiteral(">") + plist(data),
        plist(entry(QStringLiteral("deep"), deep) + validEntry()),
    };
    for (const QString& text : texts) {
        EXPECT_EQ(std::nullopt, read(text)) << text.left(200).toStdString();
    }
    // A DOCTYPE is no refusal in itself.
    EXPECT_EQ(kValidData,
              read(doctype + QStringLiteral(" [<!ELEMENT plist ANY>]>") + plist(validEntry())));
}

} // namespace
} // namespace a3
