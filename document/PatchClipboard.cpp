#include "PatchClipboard.h"

#include "PasteboardTypes.h"
#include "PatchBlock.h"
#include "PropertyListText.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace a3 {

PatchClipboard::PatchClipboard(const A3AllDataSource& bank)
    : _bank(bank)
{}

std::unique_ptr<QMimeData> PatchClipboard::writeRows(const QList<qint64>& rows) const
{
    // A selection is a set of rows; the payload lists each row once, in order.
    std::vector<std::int64_t> ascending(rows.begin(), rows.end());
    std::ranges::sort(ascending);
    ascending.erase(std::unique(ascending.begin(), ascending.end()), ascending.end());

    const PatchPayload payload = patchPayload(_bank, ascending);
    const QString type = payload.refersToChainData ? chainKeyedPasteboardType(_bank.chainChecksum())
                                                   : patchPasteboardType();
    const QByteArray bytes(reinterpret_cast<const char*>(payload.bytes.data()),
                           static_cast<qsizetype>(payload.bytes.size()));

    auto pasteboard = std::make_unique<QMimeData>();
    pasteboard->setText(stringFromData(bytes, type));
    pasteboard->setData(type, bytes);
    return pasteboard;
}

QString PatchClipboard::stringFromData(const QByteArray& payload, const QString& type)
{
    return propertyListText(type, payload);
}

std::optional<QByteArray> PatchClipboard::dataFromString(const QString& text, const QString& type)
{
    return dataFromPropertyListText(text, type);
}

QByteArray PatchClipboard::pastableData(const QMimeData* pasteboard) const
{
    if (pasteboard == nullptr) {
        return {};
    }
    // The data formats first, then the text form; any non-empty value counts.
    for (const QString& type : typesThisBankTakes(pasteboard->formats())) {
        QByteArray data = pasteboard->data(type);
        if (!data.isEmpty()) {
            return data;
        }
    }
    const QString text = pasteboard->text();
    if (text.isEmpty()) {
        return {};
    }
    for (const QString& type : typesThisBankTakes(propertyListKeys(text))) {
        std::optional<QByteArray> data = dataFromString(text, type);
        if (data && !data->isEmpty()) {
            return *std::move(data);
        }
    }
    return {};
}

QStringList PatchClipboard::typesThisBankTakes(const QStringList& offered) const
{
    // A chain-keyed type carries the chain checksum of the bank its patches
    // came from, which the chain rule compares with this bank's. The plain
    // type wins.
    QStringList plain;
    QStringList chainKeyed;
    for (const QString& type : offered) {
        const std::optional<PatchTypeChain> chain = patchTypeChain(type);
        if (chain &&
            patchesFitBank(chain->refersToChainData, chain->chainChecksum, _bank.chainChecksum())) {
            (chain->refersToChainData ? chainKeyed : plain).append(type);
        }
    }
    return plain + chainKeyed;
}

bool PatchClipboard::isPastable(const QMimeData* generalPasteboard) const
{
    return !pastableData(generalPasteboard).isEmpty();
}

} // namespace a3
