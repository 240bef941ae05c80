#include "qvd3/component/password.h"

namespace qv {
namespace {

enum class Direction { kEncode, kDecode };

std::string Scramble(std::string_view input, Direction direction) {
  std::string output(input.size(), '\0');
  std::uint16_t key = kPasswordStartKey;
  for (std::size_t i = 0; i < input.size(); ++i) {
    const auto x = static_cast<unsigned char>(input[i]);
    const auto y = static_cast<unsigned char>(x ^ (key >> 8));
    output[i] = static_cast<char>(y);
    const unsigned scrambled = direction == Direction::kEncode ? y : x;
    key = static_cast<std::uint16_t>(key + scrambled + 3);
  }
  return output;
}

}  // namespace

std::string EncodePassword(std::string_view plain) { return Scramble(plain, Direction::kEncode); }

std::string DecodePassword(std::string_view scrambled) {
  return Scramble(scrambled, Direction::kDecode);
}

}  // namespace qv
