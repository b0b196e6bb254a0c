// The payload a bank finds on a pasteboard holding any data under the patch
// type and a chain-keyed type, and any text, for any chain checksum.
//
// Input: the text, the plain data and the chain-keyed data, the first two
// each ended by a backslash and one more byte ("\\" stands for a backslash);
// then a byte of formats (1 plain data, 2 chain-keyed data, 4 text, 8 the
// chain-keyed type of another bank) and the chain checksum, low byte first.

#include "PasteboardTypes.h"
#include "PatchClipboard.h"
#include "Require.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

using namespace a3;

// What the lookup rules give: non-empty data under the patch type, else
// under the bank's own chain-keyed type, else the text form's non-empty value
// under the one, else under the other; nothing else. The text is read here on
// its own, and only when no data decides.
QByteArray expectedPayload(const QMimeData& pasteboard, const QString& plainType,
                           const QString& ownKeyedType)
{
    for (const QString* type : {&plainType, &ownKeyedType}) {
        if (QByteArray data = pasteboard.data(*type); !data.isEmpty()) {
            return data;
        }
    }
    const QString text = pasteboard.text();
    if (text.isEmpty()) {
        return {};
    }
    if (const std::optional<PropertyListEntries> textForm = propertyListEntries(text)) {
        for (const QString* type : {&plainType, &ownKeyedType}) {
            if (const auto entry = textForm->find(*type);
                entry != textForm->end() && entry->second && !entry->second->isEmpty()) {
                return *entry->second;
            }
        }
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using fuzz::require;

    // The choices come from the input's end, so that a text form taken whole
    // as a seed is the pasteboard's text.
    FuzzedDataProvider input(data, size);
    const auto chainChecksum = input.ConsumeIntegral<std::uint16_t>();
    const auto formats = input.ConsumeIntegral<std::uint8_t>();
    const QString text = QString::fromStdString(input.ConsumeRandomLengthString());
    const std::string plain = input.ConsumeRandomLengthString();
    const std::string keyed = input.ConsumeRemainingBytesAsString();

    // Kept for the whole run; each input sets the chain checksum afresh. The
    // pasteboard is the input's own, so that what it holds is freed within
    // the run of the input and libFuzzer's leak check does not suspect it.
    static A3AllDataSource bank = A3AllDataSource::fallbackBank();
    static A3AllData record = bank.data();
    static const QString plainType = patchPasteboardType();
    record.checksum = {static_cast<std::uint8_t>(chainChecksum & 0xFF),
                       static_cast<std::uint8_t>(chainChecksum >> 8)};
    bank.setData(record);

    const QString ownKeyedType = chainKeyedPasteboardType(chainChecksum);
    // Another bank's chain-keyed type, or this bank's.
    const QString keyedType =
        formats & 8 ? chainKeyedPasteboardType(chainChecksum ^ 1) : ownKeyedType;
    QMimeData pasteboard;
    if (formats & 1) {
        pasteboard.setData(plainType, QByteArray::fromStdString(plain));
    }
    if (formats & 2) {
        pasteboard.setData(keyedType, QByteArray::fromStdString(keyed));
    }
    if (formats & 4) {
        pasteboard.setText(text);
    }

    const PatchClipboard clipboard(bank);
    const QByteArray found = clipboard.pastableData(&pasteboard);
    require(clipboard.pastableData(PasteboardOffer::read(&pasteboard)) == found,
            "an offer read once finds what the pasteboard itself gives");
    require(found == expectedPayload(pasteboard, plainType, ownKeyedType),
            "the patch type's data, then the bank's chain-keyed data, then the text form's "
            "value under the one, then under the other");
    return 0;
}
