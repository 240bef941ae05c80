#include "platform/sys/utf8.h"

namespace qv {
namespace {

// The length in bytes of the character starting at `pos`: the length its
// lead byte announces when the continuation bytes are all there, else 1.
std::size_t CharLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (pos + length > text.size()) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos)) ++count;
  return count;
}

std::string Utf8Truncate(std::string_view text, std::size_t max_chars) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < max_chars && pos < text.size(); ++count) {
    pos += CharLength(text, pos);
  }
  return std::string(text.substr(0, pos));
}

}  // namespace qv
