// A region of a file compiled for instructions beyond the baseline: every
// function defined between ONDRAVANE_TARGET_BEGIN("avx2,...") and
// ONDRAVANE_TARGET_END, templates and what is inlined into them included,
// may use them. A region rather than an attribute on each function, so that
// a template shared by several regions (one per instruction set) is
// compiled for each; GCC and Clang spell it differently.
#pragma once

#define ONDRAVANE_PRAGMA(...) _Pragma(#__VA_ARGS__)

#if defined(__clang__)
#define ONDRAVANE_TARGET_BEGIN(features) \
  ONDRAVANE_PRAGMA(clang attribute push(__attribute__((target(features))), apply_to = function))
#define ONDRAVANE_TARGET_END ONDRAVANE_PRAGMA(clang attribute pop)
#else
#define ONDRAVANE_TARGET_BEGIN(features) ONDRAVANE_PRAGMA(GCC push_options) ONDRAVANE_PRAGMA(GCC target(features))
#define ONDRAVANE_TARGET_END ONDRAVANE_PRAGMA(GCC pop_options)
#endif
