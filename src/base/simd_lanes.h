// F64x4, F64x8: four or eight doubles side by side, for kernels that advance independent sums at
// once. Every lane operation rounds exactly as the scalar one: element by element, never fused,
// never summed across lanes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// VORN_VECTOR_EXTENSIONS is 1 where the compiler has GCC-style vector types. Elsewhere, or
// with VORN_NO_VECTOR_EXTENSIONS, they are plain arrays with the same per-lane arithmetic.
#if (defined(__GNUC__) || defined(__clang__)) && !defined(VORN_NO_VECTOR_EXTENSIONS)
#define VORN_VECTOR_EXTENSIONS 1
#else
#define VORN_VECTOR_EXTENSIONS 0
#endif

#if VORN_VECTOR_EXTENSIONS && defined(__GNUC__) && !defined(__clang__)
// Vectors pass only between inline functions of one build, so GCC's note that their calling
// convention differs between instruction sets concerns no interface.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

// VORN_LANE_HELPER: a small function that a vector-clone kernel calls in its loop. Clang
// flattens no clone, so there such a helper is always inlined and takes its caller's width;
// elsewhere it is an ordinary inline function. Helpers take and give vectors by reference:
// clang rejects a vector wider than 16 bytes passed by value between an AVX clone and a
// baseline function, inlined or not.
#if defined(__clang__)
#define VORN_LANE_HELPER inline __attribute__((always_inline))
#else
#define VORN_LANE_HELPER inline
#endif

namespace vorn {

#if VORN_VECTOR_EXTENSIONS
typedef double F64x4 __attribute__((vector_size(32)));
typedef double F64x8 __attribute__((vector_size(64)));
// The masks that comparisons of F64x4 give (every bit set where true); selects take them.
typedef std::int64_t I64x4 __attribute__((vector_size(32)));
#else
template <std::size_t N>
struct F64Lanes {
  double lane[N];
  double operator[](std::size_t i) const { return lane[i]; }
  double& operator[](std::size_t i) { return lane[i]; }
};
template <std::size_t N>
inline F64Lanes<N> operator+(F64Lanes<N> a, F64Lanes<N> b) {
  for (std::size_t i = 0; i < N; ++i) a[i] = a[i] + b[i];
  return a;
}
template <std::size_t N>
inline F64Lanes<N> operator-(F64Lanes<N> a, F64Lanes<N> b) {
  for (std::size_t i = 0; i < N; ++i) a[i] = a[i] - b[i];
  return a;
}
template <std::size_t N>
inline F64Lanes<N> operator*(F64Lanes<N> a, F64Lanes<N> b) {
  for (std::size_t i = 0; i < N; ++i) a[i] = a[i] * b[i];
  return a;
}
using F64x4 = F64Lanes<4>;
using F64x8 = F64Lanes<8>;
#endif

// Unaligned loads and stores of whole vectors: memcpy compiles to one vector move and, unlike a
// pointer cast, reads memory of any alignment without undefined behaviour.
template <class V>
VORN_LANE_HELPER void load_lanes(const double* p, V& v) {
  std::memcpy(&v, p, sizeof v);
}
// A vector of doubles from as many floats, each widened (exactly) as it is loaded.
template <class V>
VORN_LANE_HELPER void load_lanes(const float* p, V& v) {
#if VORN_VECTOR_EXTENSIONS
  typedef float Narrow __attribute__((vector_size(sizeof(V) / 2)));
  Narrow narrow;
  std::memcpy(&narrow, p, sizeof narrow);
  v = __builtin_convertvector(narrow, V);
#else
  for (std::size_t i = 0; i < sizeof v / sizeof(double); ++i) v[i] = p[i];
#endif
}
// As load_lanes, but floats are widened one element at a time: GCC makes of this one
// full-width conversion, where it splits the conversion of a float vector into half-width ones
// in some clones.
template <class V>
VORN_LANE_HELPER void load_widened(const double* p, V& v) {
  load_lanes(p, v);
}
template <class V>
VORN_LANE_HELPER void load_widened(const float* p, V& v) {
  float narrow[sizeof v / sizeof(double)];
  std::memcpy(narrow, p, sizeof narrow);
  for (std::size_t i = 0; i < sizeof v / sizeof(double); ++i) v[i] = narrow[i];
}
template <class V>
VORN_LANE_HELPER void splat_lanes(double x, V& v) {
  for (std::size_t i = 0; i < sizeof v / sizeof x; ++i) v[i] = x;
}
template <class V>
VORN_LANE_HELPER void store_lanes(double* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace vorn
