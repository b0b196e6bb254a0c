#pragma once

#include <QString>
#include <cstdint>

namespace a3 {

// The application's reverse-DNS identifier: the stem of the patch pasteboard
// types, the error domain of a rejected file and the desktop file's name.
inline constexpr char kApplicationIdentifier[] = "org.a3librarian.A3Librarian";

// The text form of every payload travels under this type, so that any other
// program that takes text receives it.
inline constexpr char kPlainTextType[] = "text/plain";

// Patches that do not refer to the bank's chain data: pastable into any bank.
QString patchPasteboardType();

// Patches of which at least one refers to the bank's chain data: only a bank
// with the same chain checksum takes them. The patch type, a dot and the
// checksum as four lowercase hexadecimal digits.
QString chainKeyedPasteboardType(std::uint16_t chainChecksum);

} // namespace a3
