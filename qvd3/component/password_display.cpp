#include "qvd3/component/password_display.h"

#include <cstdint>

namespace qv {

namespace {

// Windows-1252 at 0x80..0x9F; 0xFFFD where the code page leaves a gap.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,  //
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t Shown(std::uint8_t byte) {
  if (byte < 0x20) return 0x2400 + byte;
  if (byte == 0x7F) return 0x2421;
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

}  // namespace

std::string ScrambledPasswordText(std::string_view scrambled) {
  std::string out;
  out.reserve(scrambled.size() * 2);
  for (char byte : scrambled) AppendUtf8(out, Shown(static_cast<std::uint8_t>(byte)));
  return out;
}

}  // namespace qv
