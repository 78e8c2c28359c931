#include "utils/sample_measures/seeded_rng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "utils/panic.h"

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

TEST(ChaCha8, ZeroKeyBlockZeroMatchesPublishedVector) {
  const std::uint32_t key[8] = {};
  const unsigned char expected[64] = {
      0x3e, 0x00, 0xef, 0x2f, 0x89, 0x5f, 0x40, 0xd6, 0x7f, 0x5b, 0xb8, 0xe8, 0x1f, 0x09, 0xa5, 0xa1,
      0x2c, 0x84, 0x0e, 0xc3, 0xce, 0x9a, 0x7f, 0x3b, 0x18, 0x1b, 0xe1, 0x88, 0xef, 0x71, 0x1a, 0x1e,
      0x98, 0x4c, 0xe1, 0x72, 0xb9, 0x21, 0x6f, 0x41, 0x9f, 0x44, 0x53, 0x67, 0x45, 0x6d, 0x56, 0x19,
      0x31, 0x4a, 0x42, 0xa3, 0xda, 0x86, 0xb0, 0x01, 0x38, 0x7b, 0xfd, 0xb8, 0x0e, 0x0c, 0xfe, 0x42};
  std::uint32_t block[16];
  vorn::chacha8_block(key, 0, block);
  // The generator reads the same keystream as little-endian words.
  SeededRng rng = SeededRng::from_key(key);
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t want = expected[4 * i] | expected[4 * i + 1] << 8 |
                               expected[4 * i + 2] << 16 | std::uint32_t(expected[4 * i + 3]) << 24;
    EXPECT_EQ(block[i], want) << "word " << i;
    EXPECT_EQ(rng.next_u32(), want) << "word " << i;
  }
}

TEST(ChaCha8, CounterHighHalfIsWordThirteen) {
  const std::uint32_t key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::uint32_t low[16], high[16];
  vorn::chacha8_block(key, 1, low);
  vorn::chacha8_block(key, std::uint64_t(1) << 32, high);
  EXPECT_NE(std::vector<std::uint32_t>(low, low + 16), std::vector<std::uint32_t>(high, high + 16));
}

TEST(SeededRngStream, SeedingDrawsNothingAndFirstReadFillsFourBlocks) {
  SeededRng a = SeededRng::seed_from_u64(7);
  EXPECT_EQ(a.block_counter(), 0u);
  EXPECT_EQ(a.buffer_index(), 64u);
  SeededRng b = SeededRng::seed_from_u64(7);
  EXPECT_EQ(words(a, 200), words(b, 200));
}

TEST(SeededRngStream, SixtyFifthWordIsFirstWordOfBlockFour) {
  const std::uint32_t key[8] = {9, 8, 7, 6, 5, 4, 3, 2};
  SeededRng rng = SeededRng::from_key(key);
  std::vector<std::uint32_t> got = words(rng, 64);
  EXPECT_EQ(rng.block_counter(), 4u);
  std::uint32_t block[16];
  for (std::uint64_t b = 0; b < 4; ++b) {
    vorn::chacha8_block(key, b, block);
    EXPECT_EQ(std::vector<std::uint32_t>(got.begin() + 16 * b, got.begin() + 16 * b + 16),
              std::vector<std::uint32_t>(block, block + 16));
  }
  vorn::chacha8_block(key, 4, block);
  EXPECT_EQ(rng.next_u32(), block[0]);
  EXPECT_EQ(rng.block_counter(), 8u);
  EXPECT_EQ(rng.buffer_index(), 1u);
}

TEST(SeededRngStream, NextU64TakesTheNextTwoWordsLowFirstAtEveryBufferPosition) {
  for (std::size_t before : {0u, 1u, 62u, 63u, 64u}) {
    SeededRng a = SeededRng::seed_from_u64(99);
    SeededRng b = SeededRng::seed_from_u64(99);
    words(a, before);
    std::vector<std::uint32_t> w = words(b, before + 2);
    const std::uint64_t v = a.next_u64();
    EXPECT_EQ(v, std::uint64_t(w[before + 1]) << 32 | w[before]) << "after " << before;
    expect_same_position(a, b);
  }
  SeededRng one_left = SeededRng::seed_from_u64(5);
  words(one_left, 63);
  one_left.next_u64();
  EXPECT_EQ(one_left.buffer_index(), 1u);
  EXPECT_EQ(one_left.block_counter(), 8u);
}

// The result must be floor(fraction * bound) for the fraction formed by the consumed words:
// the one-word answer when it is already certain, the two-word one otherwise.
TEST(RandomRange, ThirtyTwoBitFormConsumesOneOrTwoWords) {
  int one_word = 0, carried = 0, not_carried = 0;
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    for (std::uint32_t bound : {3u, 1000u, 479001600u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
      SeededRng a = SeededRng::seed_from_u64(seed);
      SeededRng b = SeededRng::seed_from_u64(seed);
      const std::uint32_t w0 = b.next_u32();
      const std::uint64_t p = std::uint64_t(w0) * bound;
      const std::uint32_t got = a.random_range32(bound);
      ASSERT_LT(got, bound);
      if (std::uint32_t(p) <= 0u - bound) {
        EXPECT_EQ(got, p >> 32);
        ++one_word;
      } else {
        const std::uint32_t w1 = b.next_u32();
        const unsigned __int128 wide =
            static_cast<unsigned __int128>(std::uint64_t(w0) << 32 | w1) * bound;
        EXPECT_EQ(got, std::uint32_t(wide >> 64));
        (got != (p >> 32) ? carried : not_carried) += 1;
      }
      expect_same_position(a, b);
    }
  }
  EXPECT_GT(one_word, 0);
  EXPECT_GT(carried, 0);
  EXPECT_GT(not_carried, 0);
}

TEST(RandomRange, LengthFormAboveThirtyTwoBitsUsesWideWords) {
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    // Bound 2^32: the low half never exceeds the threshold, the answer is the second word.
    SeededRng a = SeededRng::seed_from_u64(seed);
    SeededRng b = SeededRng::seed_from_u64(seed);
    EXPECT_EQ(a.random_range(std::uint64_t(1) << 32), b.next_u64() >> 32);
    expect_same_position(a, b);

    // Bound 2^64 - 1: threshold 1, so almost always a second 64-bit draw; the answer is
    // x - 1, plus one when y > x.
    SeededRng c = SeededRng::seed_from_u64(seed);
    SeededRng d = SeededRng::seed_from_u64(seed);
    const std::uint64_t x = d.next_u64();
    const std::uint64_t y = d.next_u64();
    ASSERT_GT(x, 1u);
    EXPECT_EQ(c.random_range(~std::uint64_t(0)), x - 1 + (y > x ? 1 : 0));
    expect_same_position(c, d);
  }
  // Up to 2^32 - 1 the length form is the 32-bit form.
  SeededRng e = SeededRng::seed_from_u64(3);
  SeededRng f = SeededRng::seed_from_u64(3);
  EXPECT_EQ(e.random_range(0xFFFFFFFFu), f.random_range32(0xFFFFFFFFu));
  expect_same_position(e, f);
}

TEST(RandomRange, EmptyRangePanics) {
  SeededRng rng = SeededRng::seed_from_u64(0);
  for (int form = 0; form < 2; ++form) {
    try {
      form ? rng.random_range(0) : rng.random_range32(0);
      FAIL() << "no panic";
    } catch (const vorn::Panic& p) {
      EXPECT_STREQ(p.what(), "cannot sample empty range");
    }
  }
}

TEST(Shuffle, WorkedExamplesFromFreshGenerators) {
  std::vector<std::uint64_t> ten = iota(10);
  SeededRng rng = SeededRng::seed_from_u64(42);
  rng.shuffle(ten.data(), ten.size());
  EXPECT_EQ(ten, (std::vector<std::uint64_t>{7, 1, 5, 4, 6, 9, 3, 8, 2, 0}));
  for (auto [seed, first] : {std::pair<std::uint64_t, std::uint64_t>{0, 1}, {3, 0}}) {
    std::vector<std::uint64_t> two = iota(2);
    SeededRng r = SeededRng::seed_from_u64(seed);
    r.shuffle(two.data(), 2);
    EXPECT_EQ(two[0], first) << "seed " << seed;
  }
}

TEST(Shuffle, EmptyAndSingleListsDrawNothing) {
  SeededRng a = SeededRng::seed_from_u64(1);
  std::vector<std::uint64_t> none, one = {5};
  a.shuffle(none.data(), 0);
  a.shuffle(one.data(), 1);
  std::vector<std::uint64_t> list = iota(6);
  EXPECT_EQ(a.partial_shuffle(list.data(), list.size(), 0), 6u);
  EXPECT_EQ(list, iota(6));
  expect_same_position(a, SeededRng::seed_from_u64(1));
}

TEST(Shuffle, TwoElementsSwapOnEvenDraw) {
  int swapped = 0;
  for (std::uint64_t seed = 0; seed < 16; ++seed) {
    SeededRng a = SeededRng::seed_from_u64(seed);
    SeededRng b = SeededRng::seed_from_u64(seed);
    std::vector<std::uint64_t> two = iota(2);
    a.shuffle(two.data(), 2);
    const bool even = b.random_range32(479001600) % 2 == 0;
    EXPECT_EQ(two[0], even ? 1u : 0u);
    swapped += even;
    expect_same_position(a, b);
  }
  EXPECT_GT(swapped, 0);
  EXPECT_LT(swapped, 16);
}

TEST(Shuffle, DrawsArePackedIntoRunsOfBounds) {
  // Positions 1..11 share one draw; position 12 starts a run 13 * ... * 19.
  for (std::size_t len : {12u, 13u}) {
    SeededRng a = SeededRng::seed_from_u64(11);
    SeededRng b = SeededRng::seed_from_u64(11);
    std::vector<std::uint64_t> list = iota(len);
    a.shuffle(list.data(), len);
    b.random_range32(479001600);
    if (len == 13) b.random_range32(253955520);
    expect_same_position(a, b);
  }
  // At n' = 65535 two positions still share a value; from n' = 65536 on each takes its own.
  std::vector<std::uint64_t> big = iota(65536);
  SeededRng a = SeededRng::seed_from_u64(2);
  SeededRng b = SeededRng::seed_from_u64(2);
  EXPECT_EQ(a.partial_shuffle(big.data(), big.size(), 2), 65534u);
  b.random_range32(65535u * 65536u);
  expect_same_position(a, b);

  std::vector<std::uint64_t> bigger = iota(70000);
  SeededRng c = SeededRng::seed_from_u64(2);
  SeededRng d = SeededRng::seed_from_u64(2);
  c.partial_shuffle(bigger.data(), bigger.size(), 3);
  std::vector<std::uint64_t> expected = iota(70000);
  for (std::uint64_t i = 69997; i < 70000; ++i) std::swap(expected[i], expected[d.random_range32(i + 1)]);
  EXPECT_EQ(bigger, expected);
  expect_same_position(c, d);
}

TEST(Shuffle, PartialWithAmountAtLeastLengthIsFullShuffle) {
  for (std::size_t amount : {9u, 10u, 1000u}) {
    std::vector<std::uint64_t> full = iota(9), partial = iota(9);
    SeededRng a = SeededRng::seed_from_u64(4);
    SeededRng b = SeededRng::seed_from_u64(4);
    a.shuffle(full.data(), full.size());
    EXPECT_EQ(b.partial_shuffle(partial.data(), partial.size(), amount), 0u);
    EXPECT_EQ(partial, full);
    expect_same_position(a, b);
  }
}

TEST(Shuffle, PartialChoosesTheTailAndKeepsTheRest) {
  std::vector<std::uint64_t> list = iota(30);
  SeededRng rng = SeededRng::seed_from_u64(8);
  const std::size_t m = rng.partial_shuffle(list.data(), list.size(), 4);
  EXPECT_EQ(m, 26u);
  std::vector<std::uint64_t> sorted = list;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, iota(30));
}

TEST(ShuffledPrefix, EqualsPrefixOfFullShuffleAndDrawsTheSameWords) {
  for (std::uint64_t n : {0u, 1u, 2u, 12u, 13u, 100u, 65537u, 70001u}) {
    for (std::size_t k : {0u, 1u, 5u, 64u, 70001u}) {
      SeededRng a = SeededRng::seed_from_u64(n * 31 + k);
      SeededRng b = SeededRng::seed_from_u64(n * 31 + k);
      std::vector<std::uint64_t> full = iota(n);
      a.shuffle(full.data(), full.size());
      full.resize(std::min<std::size_t>(k, n));
      EXPECT_EQ(b.shuffled_prefix(n, k), full) << "n=" << n << " k=" << k;
      expect_same_position(a, b);
    }
  }
}

}  // namespace
