#include "Utf8.h"

#include <string>

namespace a3::cli {
namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

} // namespace

Utf8Character firstUtf8Character(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    const Utf8Character invalid{0, 1, false};
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
    } else {
        return invalid;
    }
    if (text.size() < length) {
        return invalid;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (!isContinuation(byte)) {
            return invalid;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < smallest || codePoint > 0x10FFFF || surrogate) {
        return invalid;
    }
    return {codePoint, length, true};
}

std::u16string utf16FromUtf8(std::string_view text)
{
    std::u16string units;
    while (!text.empty()) {
        const Utf8Character character = firstUtf8Character(text);
        text.remove_prefix(character.length);
        if (!character.valid) {
            units.push_back(u'\uFFFD');
        } else if (character.codePoint < 0x10000) {
            units.push_back(static_cast<char16_t>(character.codePoint));
        } else {
            const char32_t offset = character.codePoint - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
    }
    return units;
}

} // namespace a3::cli
