// Counting and cutting UTF-8 text by characters (code points) rather than
// bytes: column widths and edit lengths count characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// The number of characters in `text`. A byte that does not belong to a valid
// UTF-8 sequence counts as one character of its own.
std::size_t Utf8Length(std::string_view text);

// The first `max_chars` characters of `text` (all of it when shorter); never
// splits a multi-byte character.
std::string Utf8Truncate(std::string_view text, std::size_t max_chars);

// The byte position of the first character of `text` that is not well-formed
// UTF-8, or npos when all of it is. Well-formed is what PostgreSQL accepts:
// no overlong forms, no surrogates (U+D800..U+DFFF), nothing beyond U+10FFFF.
std::size_t Utf8InvalidAt(std::string_view text);

}  // namespace qv
