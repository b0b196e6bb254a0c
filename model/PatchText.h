#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace a3 {

class A3AllDataSource;

// The texts that head a bank's listing, on paper and in text alike.
std::string listingTitle(const std::string& bankName); // "Korg A3 SysEx File: %@"
std::string chainId(std::uint16_t chainChecksum);      // "%04x", as the chain ID shows
std::string chainIdText(std::uint16_t chainChecksum);  // "Chain ID: %04x"
inline constexpr char kListingHeader[] = "  # : Chain : Name";

// How a chain number is shown: "%02d" below 128; from 128 on it refers to the
// bank's chain data and shows as "C%d" of the value less 128 (128 is C0).
std::string chainText(std::int32_t chainNumber);

// "%3d :  %@   : %@": the one-based patch number, the chain text and the name
// as printablePatchName() shows it, as the printed listing and the
// command-line listing show a patch.
std::string patchLine(std::int64_t index, std::int32_t chainNumber, const std::string& name);

// A patch name as one line of text shows it: each control character (C0, DEL,
// and C1, which patchNameAt writes as C2 80 to C2 9F) as '?', so that a name
// can neither break its line nor send a terminal an escape sequence.
std::string printablePatchName(const std::string& name);

// A name as a bank stores it, without the padding: its first seven UTF-16
// code units, each that is not a patch-name character (isPatchNameCharacter)
// a space. Typing, pasting text and the command line all store names so.
std::u16string storablePatchName(std::u16string_view name);

// The listing as text, one line each, every line ended by a newline: the
// title, the chain ID, the header and the 100 patch lines.
std::string textListing(const A3AllDataSource& bank, const std::string& bankName);

} // namespace a3
