#pragma once

#include "PatchClipboard.h"

#include <QObject>
#include <optional>

class QClipboard;

namespace a3 {

// What the general clipboard offers as patches, read at most once after each
// change of the clipboard and shared by every document: with a large text on
// the clipboard, reading it for every window at every focus change would
// stall the app.
class ClipboardOffer : public QObject
{
    Q_OBJECT

public:
    explicit ClipboardOffer(QClipboard* clipboard, QObject* parent = nullptr);

    const PasteboardOffer& current();

private:
    QClipboard* _clipboard;
    std::optional<PasteboardOffer> _offer;
};

} // namespace a3
