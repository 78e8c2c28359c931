// The processor features that pick a vector clone (base/simd_clones.h) when clang builds the
// clones. Its clone resolvers ask the compiler runtime's processor model, which the runtime the
// shipped module links lacks; this one, hidden inside the module, answers them instead. It sets
// only the two features the clones name, each only where the system saves the registers it uses.
#include "base/simd_clones.h"

#if defined(__clang__) && defined(VORN_HAS_SIMD_CLONES)
#include <cpuid.h>

extern "C" {

// The layout the resolvers read: feature word 0 at byte 12, AVX2 its bit 10, AVX-512F bit 15.
struct VornCpuModel {
  unsigned vendor, type, subtype;
  unsigned features[1];
};
__attribute__((visibility("hidden"))) VornCpuModel __cpu_model;

// Called by every resolver while the module is being loaded: no call out of the module, no
// data that needs relocating.
__attribute__((visibility("hidden"))) int __cpu_indicator_init() {
  constexpr unsigned kAvx2 = 1u << 10, kAvx512f = 1u << 15;
  constexpr unsigned kYmmState = 0x6, kZmmState = 0xe6;  // XCR0: SSE and AVX; and opmask, ZMM
  unsigned features = 0, eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_OSXSAVE) != 0 &&
      (ecx & bit_AVX) != 0 && __get_cpuid_max(0, nullptr) >= 7) {
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    if ((xcr0 & kYmmState) == kYmmState && (ebx & bit_AVX2) != 0) features |= kAvx2;
    if ((xcr0 & kZmmState) == kZmmState && (ebx & bit_AVX512F) != 0) features |= kAvx512f;
  }
  __cpu_model.features[0] = features;
  return 0;
}

}  // extern "C"
#endif
