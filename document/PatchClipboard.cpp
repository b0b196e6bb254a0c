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
    return patchPasteboard(payload.bytes, payload.refersToChainData, _bank.chainChecksum());
}

std::unique_ptr<QMimeData> patchPasteboard(std::span<const std::uint8_t> images,
                                           bool refersToChainData, std::uint16_t chainChecksum)
{
    const QString type =
        refersToChainData ? chainKeyedPasteboardType(chainChecksum) : patchPasteboardType();
    const QByteArray bytes(reinterpret_cast<const char*>(images.data()),
                           static_cast<qsizetype>(images.size()));
    auto pasteboard = std::make_unique<QMimeData>();
    pasteboard->setText(propertyListText(type, bytes));
    pasteboard->setData(type, bytes);
    return pasteboard;
}

PasteboardOffer PasteboardOffer::read(const QMimeData* pasteboard)
{
    PasteboardOffer offer;
    if (pasteboard == nullptr) {
        return offer;
    }
    for (const QString& format : pasteboard->formats()) {
        if (patchTypeChain(format)) {
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
    // The data formats first, then the text form; any non-empty value counts.
    if (const QStringList types = typesThisBankTakes(offer.typedData); !types.isEmpty()) {
        return offer.typedData.at(types.front());
    }
    if (offer.textForm) {
        for (const QString& type : typesThisBankTakes(*offer.textForm)) {
            if (const std::optional<QByteArray>& data = offer.textForm->at(type);
                data && !data->isEmpty()) {
                return *data;
            }
        }
    }
    return {};
}

template <typename Map>
QStringList PatchClipboard::typesThisBankTakes(const Map& offered) const
{
    // A chain-keyed type carries the chain checksum of the bank its patches
    // came from, which the chain rule compares with this bank's. The plain
    // type wins.
    QStringList plain;
    QStringList chainKeyed;
    for (const auto& [type, value] : offered) {
        const std::optional<PatchTypeChain> chain = patchTypeChain(type);
        if (chain &&
            patchesFitBank(chain->refersToChainData, chain->chainChecksum, _bank.chainChecksum())) {
            (chain->refersToChainData ? chainKeyed : plain).append(type);
        }
    }
    return plain + chainKeyed;
}

} // namespace a3
