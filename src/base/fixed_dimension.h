// with_dimension: calls a kernel written for a fixed dimension with the one that matches d, so
// that its loops over the coordinates unroll. Chooses code only: every instance of a kernel
// rounds as the general one does.
#pragma once

#include <cstddef>
#include <type_traits>

namespace vorn {

template <std::size_t D>
using Dimension = std::integral_constant<std::size_t, D>;

template <std::size_t... Ds>
struct DimensionList {};

template <class F>
inline decltype(auto) with_dimension_in(std::size_t, F& f, DimensionList<>) {
  return f(Dimension<0>{});
}

template <std::size_t D, std::size_t... Rest, class F>
inline decltype(auto) with_dimension_in(std::size_t d, F& f, DimensionList<D, Rest...>) {
  if (d == D) return f(Dimension<D>{});
  return with_dimension_in(d, f, DimensionList<Rest...>{});
}

// Returns f(Dimension<D>{}) for the D among Ds that equals d, else f(Dimension<0>{}): 0 stands
// for every other dimension, which f reads at run time.
template <std::size_t... Ds, class F>
inline decltype(auto) with_dimension(std::size_t d, F&& f) {
  return with_dimension_in(d, f, DimensionList<Ds...>{});
}

}  // namespace vorn
