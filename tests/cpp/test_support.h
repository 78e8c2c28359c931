// Helpers the C++ tests share: literal point sets, bit patterns, panics and result digests.
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
