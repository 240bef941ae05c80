// Letter case of names: component, field, parameter, alias and table names
// are compared without regard to case. Only the ASCII letters change; every
// other byte, those of multi-byte UTF-8 characters included, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace qv {

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
// Equal but for the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);

}  // namespace qv
