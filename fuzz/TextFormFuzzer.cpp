// The text-form reader with any text under any key, and any data written under
// any key read back.
//
// Input: the text, then a zero byte and the key; without a zero byte the key
// is the patch type.

#include "PasteboardTypes.h"
#include "PropertyListText.h"
#include "Require.h"

#include <algorithm>
#include <string_view>

namespace {

// XML cannot hold the other C0 controls, U+FFFE or U+FFFF in any form, so no
// text form can carry a key with one of them.
bool isXmlText(const QString& key)
{
    return std::ranges::all_of(key, [](QChar c) {
        return c == u'\t' || c == u'\n' || c == u'\r' ||
               (c >= u'\x20' && c != u'\xFFFE' && c != u'\xFFFF');
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace a3;

    // A seed that is a text form as it stands has no zero byte.
    static const QString patchType = patchPasteboardType();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.rfind('\0');
    const std::string_view text = input.substr(0, split);
    const QString key =
        split == std::string_view::npos ? patchType : QString::fromUtf8(input.substr(split + 1));

    (void)dataFromPropertyListText(QString::fromUtf8(text), key);

    if (!isXmlText(key)) {
        return 0;
    }
    // The input's own bytes, not a copy: the payload is only read.
    const QByteArray payload =
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
    fuzz::require(dataFromPropertyListText(propertyListText(key, payload), key) == payload,
                  "data written under a key reads back under it");
    return 0;
}
