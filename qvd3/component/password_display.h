// How a scrambled password (QUARVEL.USER_PWD as stored) is shown to an
// administrator. The scrambled bytes may take any value, NUL included, and
// seldom form valid UTF-8, so they are never shown as they stand.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// One character per stored byte, as valid UTF-8: printable ASCII as itself,
// 0xA0 to 0xFF as the Latin-1 character of that number, 0x80 to 0x9F as the
// character the Windows-1252 code page gives it (U+FFFD for its five unused
// numbers), and the control bytes 0x00 to 0x1F and 0x7F as their visible
// control pictures (U+2400 to U+241F, U+2421), so nothing is cut at a NUL
// and equal bytes always look alike.
std::string ScrambledPasswordText(std::string_view scrambled);

}  // namespace qv
