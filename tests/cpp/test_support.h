// Helpers the C++ tests share: literal and generated point sets, bit patterns, panics and result
// digests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "base/panic.h"
#include "base/point_set.h"

namespace vorn_test {

constexpr std::uint64_t kNoLimit = ~std::uint64_t(0);

// Points of dimension d, their coordinates listed point after point.
inline vorn::PointSet make(std::size_t d, std::initializer_list<double> coords) {
  vorn::PointSet p(coords.size() / d, d);
  std::copy(coords.begin(), coords.end(), p.coords.begin());
  return p;
}

// Point i's coordinate k is coordinate(i, k), called in point order: a generator's draws fill
// the cloud in the order they are drawn.
template <class F>
vorn::PointSet cloud_of(std::size_t n, std::size_t d, F coordinate) {
  vorn::PointSet p(n, d);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t k = 0; k < d; ++k) p[i][k] = coordinate(i, k);
  return p;
}

// A double in [0, 1) from the top 53 bits of a 64-bit word: exact, so the same everywhere.
inline double unit_of(std::uint64_t word) {
  return double(word >> 11) * 0x1p-53;
}

// Integer generator (splitmix64) for clouds whose values are recorded: the standard library's
// distributions differ between libraries.
struct Words {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  double unit() { return unit_of(next()); }          // [0, 1)
  double symmetric() { return 2.0 * unit() - 1.0; }  // [-1, 1)
};

// As cloud_of, with coordinate(i, k, words) drawing from the words of seed.
template <class F>
vorn::PointSet cloud_of(std::size_t n, std::size_t d, std::uint64_t seed, F coordinate) {
  Words w{seed};
  return cloud_of(n, d, [&](std::size_t i, std::size_t k) { return coordinate(i, k, w); });
}

// Coordinates uniform in [-scale, scale), drawn from the words of seed.
inline vorn::PointSet uniform_cloud(std::size_t n, std::size_t d, std::uint64_t seed,
                                    double scale) {
  return cloud_of(n, d, seed, [scale](auto, auto, Words& w) { return scale * w.symmetric(); });
}

inline std::uint64_t bits(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

// Sets returned in the selection's order, where only which indices are chosen is fixed.
inline vorn::Indices sorted(vorn::Indices v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The Panic that f() throws, or one saying "no panic" when it returns.
template <class F>
vorn::Panic panic_of(F&& f) {
  try {
    f();
  } catch (const vorn::Panic& p) {
    return p;
  }
  return vorn::Panic("no panic");
}

// Results folded into one 64-bit FNV-1a digest, doubles by their bit patterns.
struct Digest {
  std::uint64_t h = 0xCBF29CE484222325u;
  Digest& add(std::uint64_t v) {
    for (int byte = 0; byte < 8; ++byte, v >>= 8) h = (h ^ (v & 0xFF)) * 0x100000001B3u;
    return *this;
  }
  Digest& add(double v) { return add(bits(v)); }
  Digest& add(const vorn::Indices& v) {
    add(std::uint64_t(v.size()));
    for (std::uint64_t i : v) add(i);
    return *this;
  }
};

}  // namespace vorn_test
