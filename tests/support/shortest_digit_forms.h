// Every way the converter computes a double's shortest digits, for tests
// and fuzzers to hold each against the reference: the inline entry and the
// general path (which also serves, when called directly, the values the
// inline one takes), each with the 128-bit arithmetic the target uses and
// with the portable form 32-bit x86 uses.
#pragma once

#include "converter/output/shortest_digits.h"

namespace ondravane {

struct ShortestDigitForm {
  const char* name;
  DecimalDigits (*digits)(double magnitude);
};

inline constexpr ShortestDigitForm kShortestDigitForms[] = {
    {"inline", [](double v) { return shortest_digits(v); }},
    {"inline, portable products", [](double v) { return shortest_digits_with<PortableWide>(v); }},
    {"general", [](double v) { return shortest_digits_detail::any_digits<FastestWide>(v); }},
    {"general, portable products", [](double v) { return shortest_digits_detail::any_digits<PortableWide>(v); }},
};

}  // namespace ondravane
