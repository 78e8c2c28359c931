// F64x2, F64x4: two or four doubles side by side, for kernels that advance independent sums at
// once. Every lane operation rounds exactly as the scalar one: element by element, never fused,
// never summed across lanes.
#pragma once

#include <cstddef>
#include <cstdint>

// VORN_VECTOR_EXTENSIONS is 1 where the compiler has GCC-style vector types. Elsewhere, or
// with VORN_NO_VECTOR_EXTENSIONS, F64x2 is a plain pair with the same per-lane arithmetic.
#if (defined(__GNUC__) || defined(__clang__)) && !defined(VORN_NO_VECTOR_EXTENSIONS)
#define VORN_VECTOR_EXTENSIONS 1
#else
#define VORN_VECTOR_EXTENSIONS 0
#endif

namespace vorn {

#if VORN_VECTOR_EXTENSIONS
typedef double F64x2 __attribute__((vector_size(16)));
typedef std::int64_t I64x2 __attribute__((vector_size(16)));
typedef double F64x4 __attribute__((vector_size(32)));
#else
struct F64x2 {
  double lane[2];
  double operator[](std::size_t i) const { return lane[i]; }
  double& operator[](std::size_t i) { return lane[i]; }
};
inline F64x2 operator+(F64x2 a, F64x2 b) {
  return {{a[0] + b[0], a[1] + b[1]}};
}
inline F64x2 operator-(F64x2 a, F64x2 b) {
  return {{a[0] - b[0], a[1] - b[1]}};
}
inline F64x2 operator*(F64x2 a, F64x2 b) {
  return {{a[0] * b[0], a[1] * b[1]}};
}
struct F64x4 {
  double lane[4];
  double operator[](std::size_t i) const { return lane[i]; }
  double& operator[](std::size_t i) { return lane[i]; }
};
inline F64x4 operator+(F64x4 a, F64x4 b) {
  return {{a[0] + b[0], a[1] + b[1], a[2] + b[2], a[3] + b[3]}};
}
inline F64x4 operator-(F64x4 a, F64x4 b) {
  return {{a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]}};
}
inline F64x4 operator*(F64x4 a, F64x4 b) {
  return {{a[0] * b[0], a[1] * b[1], a[2] * b[2], a[3] * b[3]}};
}
#endif

}  // namespace vorn
