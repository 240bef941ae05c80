// The password scrambling is its own inverse pair for every byte string:
// decoding an encoding (and encoding a decoding) gives the input back, at
// the same length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qvd3/component/password.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string scrambled = qv::EncodePassword(input);
  if (scrambled.size() != input.size() || qv::DecodePassword(scrambled) != input) std::abort();
  const std::string plain = qv::DecodePassword(input);
  if (plain.size() != input.size() || qv::EncodePassword(plain) != input) std::abort();
  return 0;
}
