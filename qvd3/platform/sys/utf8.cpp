#include "qvd3/platform/sys/utf8.h"

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

// The lead byte gives the length; the second byte's allowed range excludes
// the overlong forms (after E0, F0), the surrogates (after ED) and the code
// points above U+10FFFF (after F4). Later bytes are plain continuations.
std::size_t Utf8InvalidAt(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
      ++pos;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return pos;
    }
    if (pos + length > text.size()) return pos;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high) return pos;
    for (std::size_t i = 2; i < length; ++i) {
      if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return pos;
    }
    pos += length;
  }
  return std::string_view::npos;
}

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
