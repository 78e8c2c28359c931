// VORN_SIMD_CLONES(_512): compile a hot function for AVX2 (and AVX-512) as well as the baseline,
// picked at load time.
// Only for loops whose lanes round exactly as the scalar code does (no FMA is enabled).
// The clones are picked by an indirect function, which glibc's loader resolves and musl's lacks.
// Under clang the helpers such kernels call are VORN_LANE_HELPER (base/simd_lanes.h), and the
// resolvers read the processor features of base/cpu_features.cpp.
#pragma once

#include <cstddef>  // defines __GLIBC__ where the C library is glibc

#if defined(__GNUC__) && defined(__x86_64__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define VORN_HAS_SIMD_CLONES 1
#define VORN_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
// For kernels whose lanes fill eight doubles: AVX-512 gives them 32 registers and masks.
#define VORN_SIMD_CLONES_512 __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define VORN_SIMD_CLONES
#define VORN_SIMD_CLONES_512
#endif
