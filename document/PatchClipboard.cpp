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

PasteboardOffer PasteboardOffer::read(const QMimeData* pasteboard)
{
    PasteboardOffer offer;
    if (pasteboard == nullptr) {
        return offer;
    }
    const QString patchType = patchPasteboardType();
    for (const QString& format : pasteboard->formats()) {
        if (format == patchType || format.startsWith(patchType + QLatin1Char('.'))) {
            if (QByteArray data = pasteboard->data(format); !data.isEmpty()) {
                offer.typedData.emplace(format, std::move(data));
            }
        }
    }
    if (const QString text = pasteboard->text(); !text.isEmpty()) {
        offer.textForm = propertyListEntries(text);
    }
    return offer;
}

QByteArray PatchClipboard::pastableData(const QMimeData* pasteboard) const
{
    return pastableData(PasteboardOffer::read(pasteboard));
}

QByteArray PatchClipboard::pastableData(const PasteboardOffer& offer) const
{
    // The chain-keyed type carries the reader's own chain checksum, so that a
    // payload which refers to chain data is found only by a bank whose chain
    // data it fits. The plain type wins; the text form counts only after both
    // data formats, and any non-empty value counts.
    const QString types[] = {patchPasteboardType(),
                             chainKeyedPasteboardType(_bank.chainChecksum())};
    for (const QString& type : types) {
        if (const auto found = offer.typedData.find(type); found != offer.typedData.end()) {
            return found->second;
        }
    }
    if (!offer.textForm) {
        return {};
    }
    for (const QString& type : types) {
        const auto found = offer.textForm->find(type);
        if (found != offer.textForm->end() && found->second && !found->second->isEmpty()) {
            return *found->second;
        }
    }
    return {};
}

} // namespace a3
