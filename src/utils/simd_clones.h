// VORN_SIMD_CLONES: compile a hot function for AVX2 as well as the baseline, picked at load time.
// Only for loops whose lanes round exactly as the scalar code does (no FMA is enabled).
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_ADDRESS__)
#define VORN_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VORN_SIMD_CLONES
#endif
