// The scrambling of stored passwords (column QUARVEL.USER_PWD).
//
// A reversible byte-wise rolling XOR with a 16-bit key register: no cipher,
// it only keeps passwords from being readable at a glance. Every program that
// reads or writes the users table must scramble exactly this way, so the
// start key and the rule below are fixed for good.
//
// For each byte x, in order, with K starting at kPasswordStartKey:
//   y = x XOR (K >> 8);   K = (K + s + 3) mod 65536
// where s is the scrambled byte of the position (y when encoding, x when
// decoding). The result has as many bytes as the input and may hold any byte
// value, NUL included, so it is always stored through a bound parameter.
//
// The rule needs no position counter, so it is applied unchanged to inputs of
// any length: texts up to 255 bytes (all that older programs could store)
// scramble exactly as they always did, and longer ones still round-trip
// instead of being cut or refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr std::uint16_t kPasswordStartKey = 817;

// Plain text in, scrambled bytes out.
std::string EncodePassword(std::string_view plain);
// Scrambled bytes in, plain text out. DecodePassword(EncodePassword(p)) == p.
std::string DecodePassword(std::string_view scrambled);

}  // namespace qv
