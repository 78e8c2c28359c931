// SeededRng: the reproducible random source of every sampler, a ChaCha8 keystream keyed by PCG32.
// How many words each operation consumes is part of the results: never add a draw or a retry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vorn {

// key: 8 words; block: the 64-bit block number. Writes the 16 output words of the ChaCha
// block function reduced to 8 rounds, with the 64-bit counter in words 12-13 and a zero
// 64-bit stream number in words 14-15. Never fails.
void chacha8_block(const std::uint32_t key[8], std::uint64_t block, std::uint32_t out[16]);

class SeededRng {
 public:
  // Key words from eight PCG32 (XSH-RR) outputs of the seed, block counter 0, buffer empty.
  // Draws no words: the first read fills the buffer.
  static SeededRng seed_from_u64(std::uint64_t seed);

  // A generator over the keystream of the given 8 key words, block counter 0, buffer empty.
  static SeededRng from_key(const std::uint32_t key[8]);

  // The next 32-bit word of the keystream (little-endian words of blocks 0, 1, 2, ...).
  std::uint32_t next_u32();

  // The next two words, the first as the low half; crosses the buffer edge without skipping.
  std::uint64_t next_u64();

  // A value in [0, bound): one word, and a second word only when the low half of the first
  // product exceeds 2^32 - bound. Never a third. Throws Panic("cannot sample empty range")
  // for bound 0.
  std::uint32_t random_range32(std::uint32_t bound);

  // Length form: bounds up to 2^32 - 1 use random_range32; larger ones the same two-step
  // method on 64-bit words. Throws Panic("cannot sample empty range") for bound 0.
  std::uint64_t random_range(std::uint64_t bound);

  // data: len elements, permuted in place. Returns m = len - min(amount, len): the chosen
  // part (a uniform choice in uniform order) is data[m, len), the rest is data[0, m).
  // amount 0 draws nothing.
  template <class T>
  std::size_t partial_shuffle(T* data, std::size_t len, std::size_t amount);

  // data: len elements, permuted in place. Draws nothing when len <= 1.
  template <class T>
  void shuffle(T* data, std::size_t len);

  // The first k entries that shuffle() would leave in the list 0, 1, ..., n - 1, drawing
  // exactly the same words, in O(k) memory and without touching an n-sized list.
  // Throws std::bad_alloc only for the k-sized result.
  std::vector<std::uint64_t> shuffled_prefix(std::uint64_t n, std::size_t k);

 private:
  SeededRng() = default;

  // Refills the buffer with blocks counter_ .. counter_ + 3 and sets the read position.
  void generate_and_set(std::size_t index);

  // random_range32 for a bound known to be at least 1, on the words next_word() gives.
  template <class NextWord>
  static std::uint32_t range_below(std::uint32_t bound, NextWord next_word);

  // shuffled_prefix(n, 1)[0] for 2 <= n < 2^32 - 1: the last position whose swap partner is
  // 0, with the same draws; runs of two bounds are decoded in batches without an integer
  // division.
  std::uint64_t shuffled_first(std::uint32_t n);

  // Hands out positions in [0, n'] for n' = m, m + 1, ..., packing as many draws as fit into
  // one 32-bit value (a product of consecutive bounds below 2^32).
  class IncreasingUniform {
   public:
    IncreasingUniform(SeededRng& rng, std::uint32_t m)
        : rng_(rng), n_(m), chunk_(0), remaining_(m == 0 ? 1 : 0) {}
    std::uint32_t next_index();

   private:
    SeededRng& rng_;
    std::uint32_t n_;
    std::uint32_t chunk_;
    std::uint8_t remaining_;
  };

  // Calls visit(i, j) for i = m .. len - 1 in order with the position j <= i it swaps with.
  template <class Visit>
  void shuffle_positions(std::uint64_t m, std::uint64_t len, Visit visit);

  std::uint32_t buffer_[64];
  std::uint32_t key_[8];
  std::uint64_t counter_ = 0;
  std::size_t index_ = 64;
};

inline std::uint32_t SeededRng::next_u32() {
  if (index_ >= 64) generate_and_set(0);
  return buffer_[index_++];
}

template <class NextWord>
inline std::uint32_t SeededRng::range_below(std::uint32_t bound, NextWord next_word) {
  const std::uint64_t p = std::uint64_t(next_word()) * bound;
  const std::uint32_t high = static_cast<std::uint32_t>(p >> 32);
  const std::uint32_t low = static_cast<std::uint32_t>(p);
  // The threshold is 2^32 - bound, not 2^32 mod bound; the refinement is one word, never a loop.
  if (low <= 0u - bound) return high;
  const std::uint32_t high2 =
      static_cast<std::uint32_t>((std::uint64_t(next_word()) * bound) >> 32);
  const std::uint32_t sum = low + high2;
  return sum < low ? high + 1 : high;
}

// The longest run first, first + 1, ... of bounds whose product stays below 2^32, which
// share one draw: returns how many it holds (at least 1) and their product in bound.
inline std::uint8_t bound_run(std::uint32_t first, std::uint64_t& bound) {
  bound = first;
  std::uint64_t factor = std::uint64_t(first) + 1;
  std::uint8_t taken = 1;
  while (bound * factor <= 0xFFFFFFFFu) {
    bound *= factor;
    ++factor;
    ++taken;
  }
  return taken;
}

inline std::uint32_t SeededRng::IncreasingUniform::next_index() {
  const std::uint32_t next_n = n_ + 1;
  std::uint8_t remaining;
  if (remaining_ == 0) {
    std::uint64_t bound;
    const std::uint8_t taken = bound_run(next_n, bound);
    chunk_ = rng_.random_range32(static_cast<std::uint32_t>(bound));
    remaining = static_cast<std::uint8_t>(taken - 1);
  } else {
    remaining = static_cast<std::uint8_t>(remaining_ - 1);
  }
  std::uint32_t result;
  if (remaining == 0) {
    result = chunk_;
  } else {
    result = chunk_ % next_n;
    chunk_ /= next_n;
  }
  remaining_ = remaining;
  n_ = next_n;
  return result;
}

template <class Visit>
void SeededRng::shuffle_positions(std::uint64_t m, std::uint64_t len, Visit visit) {
  if (len < 0xFFFFFFFFu) {
    IncreasingUniform chooser(*this, static_cast<std::uint32_t>(m));
    for (std::uint64_t i = m; i < len; ++i) visit(i, std::uint64_t(chooser.next_index()));
  } else {
    for (std::uint64_t i = m; i < len; ++i) visit(i, random_range(i + 1));
  }
}

template <class T>
std::size_t SeededRng::partial_shuffle(T* data, std::size_t len, std::size_t amount) {
  const std::size_t m = amount < len ? len - amount : 0;
  shuffle_positions(m, len, [data](std::uint64_t i, std::uint64_t j) {
    using std::swap;
    swap(data[i], data[j]);
  });
  return m;
}

template <class T>
void SeededRng::shuffle(T* data, std::size_t len) {
  if (len <= 1) return;
  partial_shuffle(data, len, len);
}

}  // namespace vorn
