#pragma once

#include <QString>
#include <cstdint>
#include <optional>

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

// What a patch type tells of its payload's chain data: whether a patch refers
// to it, and then the chain checksum of the bank the patches came from.
struct PatchTypeChain
{
    bool refersToChainData = false;
    std::uint16_t chainChecksum = 0;
};
// Nothing for a type that is neither of the two above.
std::optional<PatchTypeChain> patchTypeChain(const QString& type);

} // namespace a3
