// The readable form of a scrambled password: one valid UTF-8 character per
// stored byte, whatever the bytes.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/component/password.h"
#include "qvd3/component/password_display.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {
namespace {

// Well-formed UTF-8: each lead byte followed by as many continuation bytes
// as it announces.
bool ValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    if (lead < 0x80) extra = 0;
    else if (lead >= 0xC2 && lead < 0xE0) extra = 1;
    else if (lead >= 0xE0 && lead < 0xF0) extra = 2;
    else if (lead >= 0xF0 && lead < 0xF5) extra = 3;
    else return false;
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

TEST(ScrambledPasswordText, EveryByteBecomesOneVisibleCharacterOfValidUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string shown = ScrambledPasswordText(all);
  EXPECT_TRUE(ValidUtf8(shown));
  EXPECT_EQ(Utf8Length(shown), 256u);
  EXPECT_EQ(shown.find('\0'), std::string::npos);
  for (unsigned char c : shown) EXPECT_FALSE(c < 0x20 || c == 0x7F);
}

TEST(ScrambledPasswordText, KnownBytes) {
  EXPECT_EQ(ScrambledPasswordText(std::string("A\0z", 3)), "A\u2400z");
  EXPECT_EQ(ScrambledPasswordText("\x7F\x80\x81\xA0\xE7\xFF"), "\u2421\u20AC\uFFFD\u00A0\u00E7\u00FF");
  EXPECT_EQ(ScrambledPasswordText(""), "");
}

// A real scrambled password, NUL and all, is shown at its full length.
TEST(ScrambledPasswordText, AStoredPasswordIsShownWhole) {
  const std::string scrambled = EncodePassword("senha secreta 123");
  EXPECT_EQ(Utf8Length(ScrambledPasswordText(scrambled)), scrambled.size());
  EXPECT_TRUE(ValidUtf8(ScrambledPasswordText(scrambled)));
}

}  // namespace
}  // namespace qv
