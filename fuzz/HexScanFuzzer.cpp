// Any bytes as hex text. The text is hex text exactly when it is tokens of
// hex digits, each perhaps after 0x, between spaces, tabs, commas and line
// breaks (after a byte order mark); scanning it finds what scanning the bytes
// it decodes to finds; and those bytes written as hex decode to themselves.

#include "ScanChecks.h"

#include <cctype>
#include <string>

namespace {

using namespace a3;
using a3::fuzz::require;

// The rule in a form of its own, a character at a time: a token is 0x, then
// digits; the text must have one.
bool looksLikeHex(std::span<const std::uint8_t> text)
{
    const bool byteOrderMark =
        text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF;
    std::size_t i = byteOrderMark ? 3 : 0;
    enum
    {
        Between,
        Zero,   // a token's first character was 0
        Prefix, // 0x, no digit yet
        Digits,
    } state = Between;
    bool tokens = false;
    for (; i < text.size(); ++i) {
        const char c = static_cast<char>(text[i]);
        const bool separator = c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r';
        const bool digit = std::isxdigit(static_cast<unsigned char>(c)) != 0;
        if (separator) {
            if (state == Prefix) {
                return false;
            }
            state = Between;
        } else if (state == Between) {
            if (!digit) {
                return false;
            }
            tokens = true;
            state = c == '0' ? Zero : Digits;
        } else if (state == Zero && (c == 'x' || c == 'X')) {
            state = Prefix;
        } else if (digit) {
            state = Digits;
        } else {
            return false;
        }
    }
    return tokens && state != Prefix;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> text(data, size);
    const auto hex = decodeHexText(text);
    require(hex.has_value() == looksLikeHex(text), "hex text is told by its characters alone");
    require(isHexText(text) == hex.has_value(), "isHexText agrees with the decoder");
    const DumpScan scan = scanHexText(text);
    if (!hex) {
        require(scan.kind == ScannedKind::Unrecognised && scan.dumps.empty(),
                "text that is not hex holds nothing");
        return 0;
    }
    require(hex->bytes.size() <= size / 2, "two digits at least for every byte");
    fuzz::checkScan(scan, hex->bytes);
    require(scan.kind == ScannedKind::HexText && scan.stopReason == hex->stopReason,
            "hex text is hex text, stopped where its decoding stopped");
    DumpScan stream = scanMidiStream(hex->bytes);
    stream.kind = ScannedKind::HexText;
    stream.stopReason = hex->stopReason;
    require(fuzz::sameScan(scan, stream), "hex text holds what its bytes hold");

    static constexpr char digits[] = "0123456789abcdef";
    std::string written;
    for (const std::uint8_t byte : hex->bytes) {
        written += {digits[byte >> 4], digits[byte & 15], ' '};
    }
    const auto again = decodeHexText(
        std::span(reinterpret_cast<const std::uint8_t*>(written.data()), written.size()));
    require(hex->bytes.empty() ? !again
                               : again && again->bytes == hex->bytes && again->stopReason.empty(),
            "bytes written as hex decode to themselves");
    return 0;
}
