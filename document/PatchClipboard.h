#pragma once

#include "A3AllDataSource.h"
#include "PropertyListText.h"

#include <QByteArray>
#include <QList>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace a3 {

// What a pasteboard offers as patches, read from it in one go: the data under
// the patch types, and the entries of its text form. Reading a large text
// form is the costly part, so one offer serves every bank that asks.
struct PasteboardOffer
{
    static PasteboardOffer read(const QMimeData* pasteboard);

    std::map<QString, QByteArray> typedData; // non-empty data under a patch type
    std::optional<PropertyListEntries> textForm;
};

// A fresh pasteboard with exactly two formats, plain text first: the text
// form, then the patch images under the type they need: the chain-keyed type
// of chainChecksum when a patch refers to chain data, else the patch type.
std::unique_ptr<QMimeData> patchPasteboard(std::span<const std::uint8_t> images,
                                           bool refersToChainData, std::uint16_t chainChecksum);

// What a set of rows puts on a pasteboard and what a pasteboard offers to one
// bank. QMimeData serves the clipboard and drags alike, so both go through
// here. The document owns one, built on its bank.
class PatchClipboard
{
public:
    explicit PatchClipboard(const A3AllDataSource& bank);

    // A fresh pasteboard with exactly two formats, plain text first: the text
    // form, then the payload of the rows under the patch type they need. The
    // rows may come in any order and repeat; they are written ascending.
    std::unique_ptr<QMimeData> writeRows(const QList<qint64>& rows) const;

    // The payload this bank would take from the pasteboard, found in a fixed
    // order; empty when there is none (also for no pasteboard at all).
    QByteArray pastableData(const QMimeData* pasteboard) const;
    QByteArray pastableData(const PasteboardOffer& offer) const;

private:
    // Of the offered types, the patch types whose patches fit this bank, in
    // the order they are looked for.
    template <typename Map>
    QStringList typesThisBankTakes(const Map& offered) const;

    const A3AllDataSource& _bank;
};

} // namespace a3
