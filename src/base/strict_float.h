// Refuses to build where float and double arithmetic is carried out in wider registers.
// Results are compared bit for bit: every operation must round to its own type, as on SSE2 and
// every 64-bit target.
#pragma once

#include <cfloat>

// 32-bit x86 defaults to the x87 unit, which keeps 80-bit intermediates (FLT_EVAL_METHOD 2).
// The build adds -msse2 -mfpmath=sse there; a compiler that ignores it stops here.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error \
    "vorn needs float and double operations rounded to their own type (FLT_EVAL_METHOD 0): on 32-bit x86 build with SSE2 arithmetic (-msse2 -mfpmath=sse)"
#endif
