// Every translation unit that computes values includes this header: number
// conversion, the filter's probability and the bar's fill are defined as
// single IEEE operations, each rounded to its type at once. A build whose
// arithmetic keeps excess precision (the x87 unit of 32-bit x86) would compute
// different numbers, so it is refused here rather than shipped.
#pragma once

#include <cfloat>

#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "floating-point operations keep excess precision here; build for 32-bit x86 with -msse2 -mfpmath=sse"
#endif

#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "32-bit x86 builds must do floating-point math in SSE2 registers (-msse2 -mfpmath=sse)"
#endif
