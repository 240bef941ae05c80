#include "qvd3/component/password.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace qv {
namespace {

std::string RandomBytes(std::mt19937& random, std::size_t length) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text(length, '\0');
  for (char& c : text) c = static_cast<char>(byte(random));
  return text;
}

// Worked by hand from the rule with the start key 817 (0x0331): the high
// byte is 3 for the first four bytes and 4 from the fifth (K reaches 0x447).
TEST(PasswordTest, ScramblesAsStoredPasswordsAlwaysHaveBeen) {
  EXPECT_EQ(EncodePassword("A"), "B");
  EXPECT_EQ(EncodePassword("ABC"), "BA@");
  EXPECT_EQ(EncodePassword("ABCDE"), "BA@GA");
  EXPECT_EQ(DecodePassword("BA@GA"), "ABCDE");
}

TEST(PasswordTest, EmptyMapsToEmpty) {
  EXPECT_EQ(EncodePassword(""), "");
  EXPECT_EQ(DecodePassword(""), "");
}

TEST(PasswordTest, EveryLengthUpTo255RoundTripsWithAnyBytes) {
  std::mt19937 random(20261207);
  for (std::size_t length = 1; length <= 255; ++length) {
    const std::string plain = RandomBytes(random, length);
    const std::string scrambled = EncodePassword(plain);
    ASSERT_EQ(scrambled.size(), length);
    ASSERT_EQ(DecodePassword(scrambled), plain) << "length " << length;
  }
  // Accented letters as UTF-8 and as single Latin-1 bytes.
  for (const std::string& plain :
       {std::string("senhaçãoé"), std::string("se\xE7\xE3o"), std::string(255, '\xFF')}) {
    EXPECT_EQ(DecodePassword(EncodePassword(plain)), plain);
  }
}

TEST(PasswordTest, ScrambledTextMayHoldNulBytesAndStillRoundTrips) {
  // 0x03 meets the start key's high byte 3 and scrambles to NUL.
  const std::string plain = "\x03senha\x03";
  const std::string scrambled = EncodePassword(plain);
  ASSERT_EQ(scrambled.size(), plain.size());
  EXPECT_EQ(scrambled[0], '\0');
  EXPECT_EQ(DecodePassword(scrambled), plain);
  const std::string with_nul("a\0b", 3);
  EXPECT_EQ(DecodePassword(EncodePassword(with_nul)), with_nul);
}

TEST(PasswordTest, AChangedByteLeavesEarlierBytesAndChangesItsOwn) {
  const std::string plain = "segredo-do-sistema";
  const std::string scrambled = EncodePassword(plain);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    std::string changed = plain;
    changed[i] = static_cast<char>(changed[i] ^ 0x5A);
    const std::string other = EncodePassword(changed);
    EXPECT_EQ(other.substr(0, i), scrambled.substr(0, i)) << i;
    EXPECT_NE(other[i], scrambled[i]) << i;
    // The key register carries the change on: the rest never stays identical
    // in this text (a whole suffix matching would mean the key is not rolling).
    if (i + 4 < plain.size()) {
      EXPECT_NE(other.substr(i + 1), scrambled.substr(i + 1)) << i;
    }
  }
  EXPECT_EQ(EncodePassword(plain.substr(0, 5)), scrambled.substr(0, 5));
}

TEST(PasswordTest, LongerInputsKeepTheRuleAndRoundTrip) {
  std::mt19937 random(817);
  const std::string plain = RandomBytes(random, 1000);
  const std::string scrambled = EncodePassword(plain);
  ASSERT_EQ(scrambled.size(), plain.size());
  EXPECT_EQ(scrambled.substr(0, 255), EncodePassword(plain.substr(0, 255)));
  EXPECT_EQ(DecodePassword(scrambled), plain);
}

}  // namespace
}  // namespace qv
