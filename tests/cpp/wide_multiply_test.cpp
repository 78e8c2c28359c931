#include "utils/sample_measures/wide_multiply.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using vorn::wide_multiply;
using vorn::wide_multiply_portable;

// Carries out of the middle column are where a hand-written product goes wrong.
TEST(WideMultiply, PortableFormGivesTheNativeBitsIncludingEveryCarry) {
  const std::uint64_t max = ~std::uint64_t(0);
  EXPECT_EQ(wide_multiply_portable(max, max).high, max - 1);
  EXPECT_EQ(wide_multiply_portable(max, max).low, 1u);
  EXPECT_EQ(wide_multiply_portable(std::uint64_t(1) << 32, std::uint64_t(1) << 32).high, 1u);
  EXPECT_EQ(wide_multiply_portable(0xFFFFFFFFu, 0xFFFFFFFF00000001u).high, 0xFFFFFFFEu);
  std::uint64_t a = 0x9E3779B97F4A7C15u, b = 0xD1B54A32D192ED03u;
  const std::uint64_t edges[] = {0,  1, 0xFFFFFFFFu, std::uint64_t(1) << 32, 0xFFFFFFFF00000000u,
                                 max};
  for (int i = 0; i < 20000; ++i) {
    a ^= a << 13, a ^= a >> 7, a ^= a << 17;
    b ^= b << 13, b ^= b >> 7, b ^= b << 17;
    const std::uint64_t x = i < 36 ? edges[i / 6] : a, y = i < 36 ? edges[i % 6] : b >> (i % 64);
    const vorn::WideProduct portable = wide_multiply_portable(x, y), used = wide_multiply(x, y);
    ASSERT_EQ(portable.high, used.high) << x << " * " << y;
    ASSERT_EQ(portable.low, used.low) << x << " * " << y;
    ASSERT_EQ(portable.low, x * y);
#if defined(__SIZEOF_INT128__)
    const unsigned __int128 native = static_cast<unsigned __int128>(x) * y;
    ASSERT_EQ(portable.high, static_cast<std::uint64_t>(native >> 64)) << x << " * " << y;
#endif
  }
}

}  // namespace
