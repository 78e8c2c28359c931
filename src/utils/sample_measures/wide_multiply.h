// The full 128-bit product of two 64-bit words, as its high and low halves.
// The portable form must give exactly the bits of the native one: range sampling depends on both
// halves.
#pragma once

#include <cstdint>

namespace vorn {

struct WideProduct {
  std::uint64_t high;
  std::uint64_t low;
};

// a * b from four 32 x 32 -> 64-bit partial products, for compilers without a 128-bit integer.
inline WideProduct wide_multiply_portable(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_lo = a & 0xFFFFFFFFu, a_hi = a >> 32;
  const std::uint64_t b_lo = b & 0xFFFFFFFFu, b_hi = b >> 32;
  const std::uint64_t lo_lo = a_lo * b_lo;
  const std::uint64_t hi_lo = a_hi * b_lo;
  const std::uint64_t lo_hi = a_lo * b_hi;
  const std::uint64_t hi_hi = a_hi * b_hi;
  // Bits 32..63 gather three terms below 2^32 each: their sum fits, and its carry moves up.
  const std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xFFFFFFFFu) + (lo_hi & 0xFFFFFFFFu);
  return {hi_hi + (hi_lo >> 32) + (lo_hi >> 32) + (middle >> 32),
          (middle << 32) | (lo_lo & 0xFFFFFFFFu)};
}

// VORN_NO_INT128 forces the portable form, so that a test build can check it against recorded
// results.
#if defined(__SIZEOF_INT128__) && !defined(VORN_NO_INT128)
inline WideProduct wide_multiply(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
}
#else
inline WideProduct wide_multiply(std::uint64_t a, std::uint64_t b) {
  return wide_multiply_portable(a, b);
}
#endif

}  // namespace vorn
