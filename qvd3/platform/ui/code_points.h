// Conversions between UTF-8 text and code points, for the controls that
// count and edit characters (the edit caret and selection, accelerators).
// Internal to the window model.
#pragma once

#include <string>
#include <string_view>

namespace qv::ui_detail {

// Decodes UTF-8; a byte that starts no valid sequence becomes one code
// point of its own value, so nothing typed or stored is ever lost.
std::u32string ToCodePoints(std::string_view text);
std::string ToUtf8(std::u32string_view text);
std::string ToUtf8(char32_t ch);
// Upper case of an ASCII or Latin-1 letter; other characters unchanged.
char32_t UpperCase(char32_t ch);

}  // namespace qv::ui_detail
