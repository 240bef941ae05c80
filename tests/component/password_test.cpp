#include "qvd3/component/password.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

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

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

std::string Range(int first, int last) {
  std::string bytes;
  for (int b = first; b <= last; ++b) bytes += static_cast<char>(b);
  return bytes;
}

// The stored form of passwords already in users' databases, computed from
// the stored-format rule by a separate program, not by this code: a change
// of the start key, the step or the byte fed back would leave every stored
// password unreadable, which round trips alone cannot notice.
TEST(PasswordTest, StoredPasswordsOfExistingDatabasesStillDecode) {
  struct Known {
    std::string plain;
    std::string stored_hex;
  };
  const Known known[] = {
      {"segred", "706663766161"},
      {"password1234", "73627777726a776237343433"},
      {"Senha-Forte#2026!xyz", "50666d6c6528436a747263243537353e29707073"},
      {Range(0, 127),
       "03020100070605040b0a09080f0e0d0c13121617101112131c1d1e1f19181b1a"
       "25242726222320212e2f2d2c2b2a292838393a3b3d3c3f3e3233303136363534"
       "4b4d4e4f49484b4a464744444342415f40414342454444454a4a49484f494a4b"
       "757474757372717f70707371767675736c6c6f6e6a6b696858595a5a5d5c5c5d"},
      {Range(128, 255),
       "83828687818080818f8e8282858784849b9d9e9e9a9b998788888b898e8e8d8b"
       "b4b4b4b4b3bdbfbdb2b2b6b7b1b3b1b090909391969695939d9c9c9c9b959696"
       "eaebe9efe9ebe9f7f9fbf9fff9fbf9f7e9ebe9efe9ebe9e8989898999f9e9a9a"
       "a5a7a5a4acacafada3a2a6a6a1a3a1a0a0a1a3a1a6a6a2a3adafacaca4a5a7a5"},
  };
  for (const Known& k : known) {
    const std::string stored = FromHex(k.stored_hex);
    EXPECT_EQ(EncodePassword(k.plain), stored) << k.stored_hex;
    EXPECT_EQ(DecodePassword(stored), k.plain) << k.stored_hex;
  }
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
