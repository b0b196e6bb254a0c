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

void setChain(A3AllDataSource& bank, std::int64_t row, int chain)
{
    auto patch = bank.patchDataAt(row);
    patch[0] = static_cast<std::uint8_t>(chain);
    bank.setPatchData(patch, row);
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

TEST(WriteRows, PayloadInAscendingRowOrderWhateverTheSelectionOrder)
{
    const A3AllDataSource bank = bankWithChainChecksum(0x1234);
    for (const QList<qint64>& rows :
         QList<QList<qint64>>{{3, 7, 8}, {8, 3, 7}, {7, 8, 3, 8, 3}, {}}) {
        const QByteArray expected = rows.isEmpty() ? QByteArray() : patchesOf(bank, {3, 7, 8});
        const auto pasteboard = PatchClipboard(bank).writeRows(rows);
        EXPECT_EQ((QStringList{QStringLiteral("text/plain"), kPlain}), pasteboard->formats());
        EXPECT_EQ(expected, pasteboard->data(kPlain));
        EXPECT_EQ(propertyListText(kPlain, expected), pasteboard->text());
    }
    // Nothing written is nothing to paste.
    EXPECT_TRUE(
        PatchClipboard(bank).pastableData(PatchClipboard(bank).writeRows({}).get()).isEmpty());
}

TEST(WriteRows, ChainNumbersFrom128MakeTheTypeChainKeyed)
{
    for (const auto& [checksum, chain, type] :
         QList<std::tuple<int, int, QString>>{{0xABCD, 0, kPlain},
                                              {0xABCD, 127, kPlain},
                                              {0xABCD, 128, kPlain + ".abcd"},
                                              {0xABCD, 255, kPlain + ".abcd"},
                                              {0x0000, 200, kPlain + ".0000"}}) {
        A3AllDataSource bank = bankWithChainChecksum(static_cast<std::uint16_t>(checksum));
        setChain(bank, 50, chain);
        const auto pasteboard = PatchClipboard(bank).writeRows({10, 50, 90});
        EXPECT_EQ((QStringList{QStringLiteral("text/plain"), type}), pasteboard->formats());
        EXPECT_EQ(patchesOf(bank, {10, 50, 90}), pasteboard->data(type)) << chain;
        EXPECT_EQ(patchesOf(bank, {10, 50, 90}), dataFromPropertyListText(pasteboard->text(), type))
            << chain;
    }
}

// A pasteboard as another program or an older copy may leave it.
std::unique_ptr<QMimeData> pasteboardWith(const QList<std::pair<QString, QByteArray>>& formats,
                                          const QString& text = {})
{
    auto pasteboard = std::make_unique<QMimeData>();
    if (!text.isNull()) {
        pasteboard->setText(text);
    }
    for (const auto& [type, data] : formats) {
        pasteboard->setData(type, data);
    }
    return pasteboard;
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
class PastableData : public ::testing::Test
{
protected:
    QByteArray found(const std::unique_ptr<QMimeData>& pasteboard) const
    {
        return PatchClipboard(bank).pastableData(pasteboard.get());
    }
    QByteArray foundByOther(const std::unique_ptr<QMimeData>& pasteboard) const
    {
        return PatchClipboard(otherBank).pastableData(pasteboard.get());
    }

    const QString keyed = kPlain + ".1234";
    const A3AllDataSource bank = bankWithChainChecksum(0x1234);
    const A3AllDataSource otherBank = bankWithChainChecksum(0x1235);
    const QByteArray empty = QByteArray(""); // empty, yet not null
    const QByteArray one = QByteArray(64, '\x01');
    const QByteArray two = QByteArray(128, '\x02');
};

TEST_F(PastableData, DataFormatsComeFirstThePlainTypeWinning)
{
    const QString textOfOne = propertyListText(kPlain, one);
    EXPECT_EQ(two, found(pasteboardWith({{keyed, one}, {kPlain, two}}, textOfOne)));
    EXPECT_EQ(two, found(pasteboardWith({{kPlain, empty}, {keyed, two}}, textOfOne)));
    EXPECT_EQ(one, foundByOther(pasteboardWith({{kPlain, empty}, {keyed, two}}, textOfOne)));
    EXPECT_EQ(two, found(pasteboardWith({{keyed, two}})));
    EXPECT_EQ(QByteArray(), foundByOther(pasteboardWith({{keyed, two}})));
}

TEST_F(PastableData, TextFormWhenTheDataFormatsAreEmptyOrAbsent)
{
    EXPECT_EQ(two, found(pasteboardWith({{kPlain, empty}, {keyed, empty}},
                                        propertyListText(kPlain, two))));
    EXPECT_EQ(one, found(pasteboardWith({}, propertyListText(keyed, one))));
    EXPECT_EQ(QByteArray(), foundByOther(pasteboardWith({}, propertyListText(keyed, one))));

    // The plain key wins inside the text too; an empty value counts as none.
    const QString both = textWithEntries({{keyed, two}, {kPlain, one}});
    EXPECT_EQ(one, found(pasteboardWith({}, both)));
    EXPECT_EQ(one, foundByOther(pasteboardWith({}, both)));
    const QString emptyPlain = textWithEntries({{kPlain, empty}, {keyed, two}});
    EXPECT_EQ(two, found(pasteboardWith({}, emptyPlain)));
    EXPECT_EQ(QByteArray(), foundByOther(pasteboardWith({}, emptyPlain)));
}

TEST_F(PastableData, AnyNonEmptyLengthCountsAndNothingElse)
{
    const QByteArray tenBytes(10, '\x7f');
    EXPECT_EQ(tenBytes, found(pasteboardWith({{kPlain, tenBytes}})));
    EXPECT_EQ(tenBytes, found(pasteboardWith({}, propertyListText(kPlain, tenBytes))));

    EXPECT_TRUE(PatchClipboard(bank).pastableData(nullptr).isEmpty());
    EXPECT_TRUE(found(pasteboardWith({{QStringLiteral("text/html"), one}}, QStringLiteral("Hello")))
                    .isEmpty());
}

} // namespace
} // namespace a3
