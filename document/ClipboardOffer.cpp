#include "ClipboardOffer.h"

#include <QClipboard>

namespace a3 {

ClipboardOffer::ClipboardOffer(QClipboard* clipboard, QObject* parent)
    : QObject(parent)
    , _clipboard(clipboard)
{
    connect(_clipboard, &QClipboard::dataChanged, this, [this] { _offer.reset(); });
}

const PasteboardOffer& ClipboardOffer::current()
{
    if (!_offer) {
        _offer = PasteboardOffer::read(_clipboard->mimeData());
    }
    return *_offer;
}

} // namespace a3
