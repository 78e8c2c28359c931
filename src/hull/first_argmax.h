// The first position of the largest value: the one scan behind every support-point and
// farthest-point search of the hull code. Ties keep the earlier position: hull vertices follow it.
#pragma once

#include <cstddef>
#include <optional>

namespace vorn {

// n: the number of positions; start: the value to beat; value(i): the value at position i.
// Scans i = 0 .. n-1 and returns the first position whose value is strictly greater than
// start and than every earlier value; nothing when none is (NaN values never win).
template <class T, class F>
std::optional<std::size_t> first_argmax(std::size_t n, T start, F value) {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < n; ++i) {
    const T v = value(i);
    if (v > start) {  // strictly greater: ties and NaN keep the earlier choice
      start = v;
      best = i;
    }
  }
  return best;
}

}  // namespace vorn
