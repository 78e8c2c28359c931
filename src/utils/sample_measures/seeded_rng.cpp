// SeededRng: the reproducible random source of every sampler, a ChaCha8 keystream keyed by PCG32.
// How many words each operation consumes is part of the results: never add a draw or a retry.
#include "utils/sample_measures/seeded_rng.h"

#include <algorithm>

#include "base/panic.h"
#include "base/simd_clones.h"
#include "base/simd_lanes.h"
#include "utils/sample_measures/wide_multiply.h"

namespace vorn {

namespace {

constexpr std::uint32_t kConstants[4] = {0x61707865u, 0x3320646Eu, 0x79622D32u, 0x6B206574u};

// W is one 32-bit word, or a vector of words whose lanes are independent blocks.
template <class W>
inline W rotl(W x, int r) {
  return (x << r) | (x >> (32 - r));
}

template <class W>
inline void quarter_round(W* x, int a, int b, int c, int d) {
  x[a] += x[b];
  x[d] = rotl(x[d] ^ x[a], 16);
  x[c] += x[d];
  x[b] = rotl(x[b] ^ x[c], 12);
  x[a] += x[b];
  x[d] = rotl(x[d] ^ x[a], 8);
  x[c] += x[d];
  x[b] = rotl(x[b] ^ x[c], 7);
}

// The 8 rounds: 4 double rounds of a column round and a diagonal round.
template <class W>
inline void chacha8_rounds(W* x) {
  for (int double_round = 0; double_round < 4; ++double_round) {
    quarter_round(x, 0, 4, 8, 12);
    quarter_round(x, 1, 5, 9, 13);
    quarter_round(x, 2, 6, 10, 14);
    quarter_round(x, 3, 7, 11, 15);
    quarter_round(x, 0, 5, 10, 15);
    quarter_round(x, 1, 6, 11, 12);
    quarter_round(x, 2, 7, 8, 13);
    quarter_round(x, 3, 4, 9, 14);
  }
}

#if VORN_VECTOR_EXTENSIONS
typedef std::uint32_t U32x4 __attribute__((vector_size(16)));

// Blocks first .. first + 3 (64-bit wrapping), one per lane, so that all four run their
// rounds in vector registers; block b's 16 words go to out[16 * b ..].
void chacha8_four_blocks(const std::uint32_t key[8], std::uint64_t first, std::uint32_t out[64]) {
  U32x4 input[16], x[16];
  for (int i = 0; i < 4; ++i) input[i] = U32x4{} + kConstants[i];
  for (int i = 0; i < 8; ++i) input[4 + i] = U32x4{} + key[i];
  for (int lane = 0; lane < 4; ++lane) {
    const std::uint64_t block = first + static_cast<std::uint64_t>(lane);
    input[12][lane] = static_cast<std::uint32_t>(block);
    input[13][lane] = static_cast<std::uint32_t>(block >> 32);
  }
  input[14] = U32x4{};  // stream number, low and high half
  input[15] = U32x4{};
  for (int i = 0; i < 16; ++i) x[i] = input[i];
  chacha8_rounds(x);
  for (int i = 0; i < 16; ++i) {
    const U32x4 word = x[i] + input[i];
    for (int lane = 0; lane < 4; ++lane) out[16 * lane + i] = word[lane];
  }
}
#endif

// Runs of two bounds n' and n' + 1 exist for n' up to this one.
constexpr std::uint32_t kLastPairBound = 65535;
constexpr std::size_t kPairBatch = 128;

// out[g] = values[g] / bounds[g] as integers, for values below 2^32 and bounds of at most
// kLastPairBound; returns whether some value is a multiple of its bound or below it. Exact
// through doubles: both operands keep every bit, and a quotient that is not an integer lies at
// least 1/bound from the next one, far more than the rounding moves it.
VORN_SIMD_CLONES bool pair_quotients(const double* values, const double* bounds, std::size_t count,
                                     std::int32_t* out) {
  int hit = 0;
  for (std::size_t g = 0; g < count; ++g) {
    const std::int32_t q = static_cast<std::int32_t>(values[g] / bounds[g]);
    out[g] = q;
    hit |= (values[g] - double(q) * bounds[g] == 0.0) | (q == 0);
  }
  return hit != 0;
}

}  // namespace

void chacha8_block(const std::uint32_t key[8], std::uint64_t block, std::uint32_t out[16]) {
  std::uint32_t input[16];
  for (int i = 0; i < 4; ++i) input[i] = kConstants[i];
  for (int i = 0; i < 8; ++i) input[4 + i] = key[i];
  input[12] = static_cast<std::uint32_t>(block);
  input[13] = static_cast<std::uint32_t>(block >> 32);
  input[14] = 0;  // stream number, low and high half
  input[15] = 0;
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = input[i];
  chacha8_rounds(x);
  for (int i = 0; i < 16; ++i) out[i] = x[i] + input[i];
}

SeededRng SeededRng::seed_from_u64(std::uint64_t seed) {
  SeededRng rng;
  std::uint64_t s = seed;
  for (int i = 0; i < 8; ++i) {
    // The state advances before each output: the first key word is not taken from the seed.
    s = s * 6364136223846793005ull + 11634580027462260723ull;
    const std::uint32_t x = static_cast<std::uint32_t>(((s >> 18) ^ s) >> 27);
    const int r = static_cast<int>(s >> 59);
    rng.key_[i] = (x >> r) | (x << ((32 - r) & 31));
  }
  rng.counter_ = 0;
  rng.index_ = 64;
  return rng;
}

SeededRng SeededRng::from_key(const std::uint32_t key[8]) {
  SeededRng rng;
  for (int i = 0; i < 8; ++i) rng.key_[i] = key[i];
  return rng;
}

void SeededRng::generate_and_set(std::size_t index) {
#if VORN_VECTOR_EXTENSIONS
  chacha8_four_blocks(key_, counter_, buffer_);
#else
  for (std::uint64_t b = 0; b < 4; ++b) chacha8_block(key_, counter_ + b, buffer_ + 16 * b);
#endif
  counter_ += 4;
  index_ = index;
}

std::uint64_t SeededRng::next_u64() {
  std::uint64_t low, high;
  if (index_ < 63) {
    low = buffer_[index_];
    high = buffer_[index_ + 1];
    index_ += 2;
  } else if (index_ == 63) {
    low = buffer_[63];
    generate_and_set(1);
    high = buffer_[0];
  } else {
    generate_and_set(2);
    low = buffer_[0];
    high = buffer_[1];
  }
  return (high << 32) | low;
}

std::uint32_t SeededRng::random_range32(std::uint32_t bound) {
  if (bound == 0) throw Panic("cannot sample empty range");
  return range_below(bound, [this] { return next_u32(); });
}

std::uint64_t SeededRng::random_range(std::uint64_t bound) {
  if (bound <= 0xFFFFFFFFu) return random_range32(static_cast<std::uint32_t>(bound));
  const WideProduct p = wide_multiply(next_u64(), bound);
  const std::uint64_t high = p.high;
  const std::uint64_t low = p.low;
  if (low <= 0ull - bound) return high;
  const std::uint64_t high2 = wide_multiply(next_u64(), bound).high;
  const std::uint64_t sum = low + high2;
  return sum < low ? high + 1 : high;
}

std::uint64_t SeededRng::shuffled_first(std::uint32_t n) {
  // Position 0 takes itself without a draw; later position i moves into the front exactly
  // when it draws 0, so the front ends with the last such i.
  std::uint64_t first = 0;
  std::uint32_t i = 1;
  // The read position in a local, which stays in a register; written back at the end.
  std::size_t index = index_;
  auto draw = [&](std::uint32_t bound) {
    return range_below(bound, [&] {
      if (index >= 64) generate_and_set(0), index = 0;
      return buffer_[index++];
    });
  };
  std::uint64_t bound;
  std::uint8_t taken;
  // Runs of three or more bounds: each position as the chooser hands it out.
  while (i < n && (taken = bound_run(i + 1, bound)) > 2) {
    std::uint32_t chunk = draw(static_cast<std::uint32_t>(bound));
    for (std::uint8_t m = 0; m < taken && i < n; ++m, ++i) {
      const std::uint32_t j = m + 1 == taken ? chunk : chunk % (i + 1);
      chunk /= i + 1;
      if (j == 0) first = i;
    }
  }
  // Runs of two: the value c of bounds i + 1 and i + 2 stands for positions c mod (i + 1) and
  // c / (i + 1). Drawn in order, then decoded a batch at a time.
  double values[kPairBatch], bounds[kPairBatch];
  std::int32_t quotients[kPairBatch];
  while (i < n && i + 1 <= kLastPairBound) {
    // Positions i .. up to i + 2 count - 1, all below n and with bounds of runs of two.
    const std::uint32_t last = std::min(n - 1, kLastPairBound);
    const std::size_t count = std::min<std::size_t>(kPairBatch, (last - i) / 2 + 1);
    for (std::size_t g = 0; g < count; ++g) {
      const std::uint32_t b = i + 1 + 2 * static_cast<std::uint32_t>(g);
      values[g] = draw(b * (b + 1));
      bounds[g] = b;
    }
    // Mostly no position of a batch draws 0, and then only i moves on.
    if (!pair_quotients(values, bounds, count, quotients)) {
      i += 2 * static_cast<std::uint32_t>(count);
      continue;
    }
    for (std::size_t g = 0; g < count; ++g, i += 2) {
      const std::uint32_t q = static_cast<std::uint32_t>(quotients[g]);
      first = static_cast<std::uint32_t>(values[g]) == q * (i + 1) ? i : first;
      first = q == 0 && i + 1 < n ? i + 1 : first;
    }
  }
  for (; i < n; ++i) first = draw(i + 1) == 0 ? i : first;  // one bound a draw
  index_ = index;
  return first;
}

std::vector<std::uint64_t> SeededRng::shuffled_prefix(std::uint64_t n, std::size_t k) {
  const std::size_t size = k < n ? k : static_cast<std::size_t>(n);
  std::vector<std::uint64_t> prefix(size);
  for (std::size_t i = 0; i < size; ++i) prefix[i] = i;
  if (n <= 1) return prefix;
  if (size == 1 && n < 0xFFFFFFFFu) {
    prefix[0] = shuffled_first(static_cast<std::uint32_t>(n));
    return prefix;
  }
  // Before step i, position i still holds i; a swap reaching back into the prefix from
  // beyond it therefore writes i there, and the rest of the list never needs to exist.
  shuffle_positions(0, n, [&prefix, size](std::uint64_t i, std::uint64_t j) {
    if (i < size) {
      std::swap(prefix[i], prefix[j]);
    } else if (j < size) {
      prefix[j] = i;
    }
  });
  return prefix;
}

}  // namespace vorn
