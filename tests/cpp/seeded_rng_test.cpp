#include "utils/sample_measures/seeded_rng.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "test_support.h"
#include "utils/sample_measures/wide_multiply.h"

namespace {

using vorn::SeededRng;

std::vector<std::uint32_t> words(SeededRng& rng, std::size_t count) {
  std::vector<std::uint32_t> out(count);
  for (auto& w : out) w = rng.next_u32();
  return out;
}

std::vector<std::uint64_t> iota(std::size_t n) {
  std::vector<std::uint64_t> v(n);
  std::iota(v.begin(), v.end(), 0);
  return v;
}

// Whatever an operation consumed, a twin that consumed the expected words must now agree.
void expect_same_position(SeededRng a, SeededRng b) {
  EXPECT_EQ(words(a, 70), words(b, 70));
}

TEST(SeededRngStream, ZeroKeyGivesThePublishedChaCha8Block) {
  const std::uint32_t key[8] = {};
  const std::uint32_t expected[8] = {0x2fef003e, 0xd6405f89, 0xe8b85b7f, 0xa1a5091f,
                                     0xc30e842c, 0x3b7f9ace, 0x88e11b18, 0x1e1a71ef};
  SeededRng rng = SeededRng::from_key(key);
  EXPECT_EQ(words(rng, 8), std::vector<std::uint32_t>(expected, expected + 8));
}

// Refills make four blocks at once: the stream must still be blocks 0, 1, 2, ... in order.
TEST(SeededRngStream, RefillsAreConsecutiveBlocks) {
  const std::uint32_t key[8] = {1, 0xFFFFFFFFu, 3, 0x80000000u, 5, 6, 7, 8};
  std::vector<std::uint32_t> expected(16 * 12);
  for (std::uint64_t b = 0; b < 12; ++b) vorn::chacha8_block(key, b, &expected[16 * b]);
  SeededRng rng = SeededRng::from_key(key);
  EXPECT_EQ(words(rng, expected.size()), expected);
}

// The low word first, the last word of one block and the first of the next.
TEST(SeededRngStream, A64BitDrawAcrossABlockEdgeTakesItsLowWordFirst) {
  SeededRng a = SeededRng::seed_from_u64(3), b = a;
  words(a, 63), words(b, 63);
  const std::uint64_t low = b.next_u32();
  EXPECT_EQ(a.next_u64(), low | std::uint64_t(b.next_u32()) << 32);
}

TEST(RandomRange, EmptyRangePanicsInBothWidths) {
  SeededRng rng = SeededRng::seed_from_u64(0);
  EXPECT_STREQ(vorn_test::panic_of([&] { rng.random_range(0); }).what(),
               "cannot sample empty range");
  EXPECT_STREQ(vorn_test::panic_of([&] { rng.random_range32(0); }).what(),
               "cannot sample empty range");
}

TEST(Shuffle, DrawsArePackedIntoRunsOfBounds) {
  // Positions 1..11 share one draw; position 12 starts the run 13 * ... * 19.
  for (std::size_t len : {12u, 13u}) {
    SeededRng a = SeededRng::seed_from_u64(11), b = a;
    std::vector<std::uint64_t> list = iota(len);
    a.shuffle(list.data(), len);
    b.random_range32(479001600);
    if (len == 13) b.random_range32(253955520);
    expect_same_position(a, b);
  }
  // At n' = 65535 two positions still share a value; from 65536 on each takes its own.
  std::vector<std::uint64_t> list = iota(65536);
  SeededRng a = SeededRng::seed_from_u64(2), b = a;
  EXPECT_EQ(a.partial_shuffle(list.data(), list.size(), 2), 65534u);
  b.random_range32(65535u * 65536u);
  expect_same_position(a, b);
  std::vector<std::uint64_t> shuffled = iota(70000), swapped = shuffled;
  SeededRng c = SeededRng::seed_from_u64(2), d = c;
  c.partial_shuffle(shuffled.data(), shuffled.size(), 3);
  for (std::uint64_t i = 69997; i < 70000; ++i)
    std::swap(swapped[i], swapped[d.random_range32(i + 1)]);
  EXPECT_EQ(shuffled, swapped);
  expect_same_position(c, d);
}

TEST(ShuffledPrefix, EqualsPrefixOfFullShuffleAndDrawsTheSameWords) {
  for (std::uint64_t n : {0u, 1u, 2u, 13u, 100u, 70001u}) {
    for (std::size_t k : {0u, 1u, 64u, 70001u}) {
      SeededRng a = SeededRng::seed_from_u64(n * 31 + k), b = a;
      std::vector<std::uint64_t> full = iota(n);
      a.partial_shuffle(full.data(), full.size(), 1000000);  // amount beyond the length: all
      full.resize(std::min<std::size_t>(k, n));
      EXPECT_EQ(b.shuffled_prefix(n, k), full) << "n=" << n << " k=" << k;
      expect_same_position(a, b);
    }
  }
}

// The front alone is decoded run by run: lists ending inside or just past runs of three or
// more bounds (to n' = 1624), runs of two (to 65535) and single bounds, on many seeds.
TEST(ShuffledPrefix, FrontEqualsFrontOfFullShuffleAcrossRunLengths) {
  for (std::uint64_t n :
       {3u, 12u, 14u, 1000u, 1625u, 1626u, 1627u, 4001u, 65535u, 65536u, 65537u, 65538u, 65600u}) {
    for (std::uint64_t seed = 0; seed < (n < 5000 ? 200u : 12u); ++seed) {
      SeededRng a = SeededRng::seed_from_u64(seed * 1000003 + n), b = a;
      std::vector<std::uint64_t> full = iota(n);
      a.shuffle(full.data(), full.size());
      ASSERT_EQ(b.shuffled_prefix(n, 1), std::vector<std::uint64_t>{full[0]}) << n << " " << seed;
      expect_same_position(a, b);
    }
  }
}

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
