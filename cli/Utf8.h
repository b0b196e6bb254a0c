#pragma once

#include <cstddef>
#include <string_view>

namespace a3::cli {

// The first character of a UTF-8 text: its code point and length in bytes,
// or, where the text does not start with a whole, shortest, valid sequence,
// one invalid byte.
struct Utf8Character
{
    char32_t codePoint = 0; // 0 for an invalid byte
    std::size_t length = 0; // 0 only for an empty text
    bool valid = false;
};
Utf8Character firstUtf8Character(std::string_view text);

// The text as UTF-16 code units, each invalid byte as U+FFFD.
std::u16string utf16FromUtf8(std::string_view text);

} // namespace a3::cli
