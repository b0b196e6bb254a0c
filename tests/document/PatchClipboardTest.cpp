// The patch payload and its type, and the lookup order by which a bank finds
// a payload it may take.

#include "PatchClipboard.h"

#include "PasteboardTypes.h"
#include "PropertyListText.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace a3 {
namespace {

// A bank whose 100 patches all differ and refer to no chain data.
A3AllDataSource bankWithChainChecksum(std::uint16_t chainChecksum)
{
    A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    A3AllData record = bank.data();
    for (std::size_t row = 0; row < kPatchCount; ++row) {
        for (std::size_t i = 0; i < kPatchSize; ++i) {
            record.patch[row][i] = static_cast<std::uint8_t>(i == 0 ? row : row * 3 + i);
        }
    }
    record.checksum = {static_cast<std::uint8_t>(chainChecksum & 0xFF),
                       static_cast<std::uint8_t>(chainChecksum >> 8)};
    bank.setData(record);
    return bank;
}

QByteArray patchesOf(const A3AllDataSource& bank, std::initializer_list<std::int64_t> rows)
{
    QByteArray bytes;
    for (std::int64_t row : rows) {
        const auto patch = bank.patchDataAt(row);
        bytes.append(reinterpret_cast<const char*>(patch.data()),
                     static_cast<qsizetype>(patch.size()));
    }
    return bytes;
}

const QString kPlain = QStringLiteral("org.a3librarian.A3Librarian.patch");

// The payload is in ascending row order whatever the selection's order; a
// chain number from 128 on makes the type chain keyed.
TEST(WriteRows, PayloadInAscendingRowOrderAndTypedByItsChainNumbers)
{
    const struct
    {
        std::uint16_t checksum;
        int chain; // of row 8
        QList<qint64> rows;
        QString type;
    } cases[] = {
        {0xABCD, 0, {3, 7, 8}, kPlain},
        {0xABCD, 127, {8, 3, 7}, kPlain},
        {0xABCD, 128, {7, 8, 3, 8, 3}, kPlain + ".abcd"},
        {0xABCD, 255, {3, 7, 8}, kPlain + ".abcd"},
        {0x0000, 200, {8, 3, 7}, kPlain + ".0000"},
        {0xABCD, 200, {}, kPlain},
    };
    for (const auto& c : cases) {
        A3AllDataSource bank = bankWithChainChecksum(c.checksum);
        auto patch8 = bank.patchDataAt(8);
        patch8[0] = static_cast<std::uint8_t>(c.chain);
        bank.setPatchData(patch8, 8);
        const QByteArray expected = c.rows.isEmpty() ? QByteArray() : patchesOf(bank, {3, 7, 8});
        const auto pasteboard = PatchClipboard(bank).writeRows(c.rows);
        EXPECT_EQ((QStringList{QStringLiteral("text/plain"), c.type}), pasteboard->formats());
        EXPECT_EQ(expected, pasteboard->data(c.type)) << c.chain;
        EXPECT_EQ(propertyListText(c.type, expected), pasteboard->text()) << c.chain;
    }
    // Nothing written is nothing to paste.
    const A3AllDataSource bank = bankWithChainChecksum(0x1234);
    EXPECT_TRUE(
        PatchClipboard(bank).pastableData(PatchClipboard(bank).writeRows({}).get()).isEmpty());
}

QString textWithEntries(const QList<std::pair<QString, QByteArray>>& entries)
{
    QString dict;
    for (const auto& [key, data] : entries) {
        dict += QStringLiteral("<key>%1</key><data>%2</data>")
                    .arg(key, QString::fromLatin1(data.toBase64()));
    }
    return QStringLiteral("<plist version=\"1.0\"><dict>%1</dict></plist>").arg(dict);
}

// Each step of the lookup, and which step wins, for a bank with the chain
// checksum of the payloads and one with another.
TEST(PastableData, DataFormatsFirstThenTheTextFormThePlainTypeWinningInEach)
{
    using Formats = QList<std::pair<QString, QByteArray>>;
    const QString keyed = kPlain + ".1234";
    const QByteArray empty = QByteArray(""); // empty, yet not null
    const QByteArray one = QByteArray(64, '\x01');
    const QByteArray two = QByteArray(128, '\x02');
    const QByteArray ten = QByteArray(10, '\x7f'); // any non-empty length counts
    const QString textOfOne = propertyListText(kPlain, one);
    const struct
    {
        Formats formats;
        QString text;
        QByteArray forBank, forOther;
    } cases[] = {
        {{{keyed, one}, {kPlain, two}}, textOfOne, two, two},
        {{{kPlain, empty}, {keyed, two}}, textOfOne, two, one},
        {{{keyed, two}}, {}, two, {}},
        {{{kPlain, ten}}, {}, ten, ten},
        {{{kPlain, empty}, {keyed, empty}}, propertyListText(kPlain, two), two, two},
        {{}, propertyListText(keyed, one), one, {}},
        {{}, propertyListText(kPlain, ten), ten, ten},
        {{}, textWithEntries({{keyed, two}, {kPlain, one}}), one, one},
        {{}, textWithEntries({{kPlain, empty}, {keyed, two}}), two, {}},
        {{{QStringLiteral("text/html"), one}}, QStringLiteral("Hello"), {}, {}},
    };
    const A3AllDataSource bank = bankWithChainChecksum(0x1234);
    const A3AllDataSource otherBank = bankWithChainChecksum(0x1235);
    for (const auto& c : cases) {
        // As another program or an older copy may leave it.
        QMimeData pasteboard;
        if (!c.text.isNull()) {
            pasteboard.setText(c.text);
        }
        for (const auto& [type, data] : c.formats) {
            pasteboard.setData(type, data);
        }
        EXPECT_EQ(c.forBank, PatchClipboard(bank).pastableData(&pasteboard))
            << c.text.toStdString();
        EXPECT_EQ(c.forOther, PatchClipboard(otherBank).pastableData(&pasteboard))
            << c.text.toStdString();
    }
    EXPECT_TRUE(PatchClipboard(bank).pastableData(nullptr).isEmpty());
}

} // namespace
} // namespace a3
