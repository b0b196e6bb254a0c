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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace a3;
    using fuzz::require;

    // The choices come from the input's end, so that a text form taken whole
    // as a seed is the pasteboard's text.
    FuzzedDataProvider input(data, size);
    const auto chainChecksum = input.ConsumeIntegral<std::uint16_t>();
    const auto formats = input.ConsumeIntegral<std::uint8_t>();
    const QString text = QString::fromStdString(input.ConsumeRandomLengthString());
    const std::string plain = input.ConsumeRandomLengthString();
    const std::string keyed = input.ConsumeRemainingBytesAsString();

    static A3AllDataSource bank = A3AllDataSource::fallbackBank();
    A3AllData record = bank.data();
    record.checksum = {static_cast<std::uint8_t>(chainChecksum & 0xFF),
                       static_cast<std::uint8_t>(chainChecksum >> 8)};
    bank.setData(record);

    const QString plainType = patchPasteboardType();
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
    const QByteArray plainData = pasteboard.data(plainType);
    const QByteArray ownKeyedData = pasteboard.data(ownKeyedType);
    if (!plainData.isEmpty()) {
        require(found == plainData, "data under the patch type wins");
    } else if (!ownKeyedData.isEmpty()) {
        require(found == ownKeyedData, "data under the bank's chain-keyed type comes next");
    } else if (!found.isEmpty()) {
        const QString offered = pasteboard.text();
        require(found == PatchClipboard::dataFromString(offered, plainType) ||
                    found == PatchClipboard::dataFromString(offered, ownKeyedType),
                "otherwise only the text form's value under one of the bank's types");
    }
    return 0;
}
