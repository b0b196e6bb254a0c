#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace a3 {

// Pasted text comes from any program; no text form comes near this size (a
// whole bank is 6400 bytes), so longer texts are refused before parsing.
inline constexpr qsizetype kMaxPropertyListTextSize = qsizetype{1} << 20; // bytes of UTF-8

// The XML property list of a dictionary with the one entry key -> data, laid
// out byte for byte as the standard property-list writer lays it out, so that
// other tools read it.
QString propertyListText(const QString& key, const QByteArray& data);

// The data value under key in an XML property list whose root is a dictionary.
// Accepts any layout the text may have got in an editor or a mail: whitespace
// and line breaks anywhere in the Base64, other indentation, no XML declaration
// or DOCTYPE, further entries. Nothing for anything else, including texts over
// the size limit, entity declarations or references, and deep nesting.
std::optional<QByteArray> dataFromPropertyListText(const QString& text, const QString& key);

// The keys of the entries of such a text, in order; none for a text that is
// refused as above.
QStringList propertyListKeys(const QString& text);

} // namespace a3
