// Hints to the compiler that change speed only, never a result; each is a no-op where the
// compiler lacks it.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define VORN_UNLIKELY(condition) __builtin_expect(static_cast<bool>(condition), 0)
#define VORN_PREFETCH(address) __builtin_prefetch((address), 0, 2)
#define VORN_ALWAYS_INLINE inline __attribute__((always_inline))
#if defined(__clang__) && defined(__x86_64__)
// Clang flattens no vector clone: the helpers such kernels call are VORN_LANE_HELPER instead.
#define VORN_FLATTEN
#else
// Inlines every call in the function, so that a vector-clone kernel's helpers take its width.
#define VORN_FLATTEN __attribute__((flatten))
#endif
#else
#define VORN_UNLIKELY(condition) static_cast<bool>(condition)
#define VORN_PREFETCH(address) static_cast<void>(address)
#define VORN_ALWAYS_INLINE inline
#define VORN_FLATTEN
#endif
