// The shortest digits of the values outside the exact path, from the
// library's shortest scientific form: it carries the same digits (fewest
// significant digits that round-trip, nearest to the value among those).
#include "converter/output/shortest_digits.h"

#include <charconv>

namespace ondravane {

DecimalDigits shortest_digits_by_library(double magnitude) {
  // The form is d1[.d2...dn]e<sign><two or three digits>.
  char text[40];
  const char* const end = std::to_chars(text, text + sizeof text, magnitude,
                                        std::chars_format::scientific).ptr;
  const bool long_exponent = end[-4] != 'e';
  const char* const e = end - (long_exponent ? 5 : 4);
  int exponent = (e[2] - '0') * 10 + (e[3] - '0');
  if (long_exponent) exponent = exponent * 10 + (e[4] - '0');
  if (e[1] == '-') exponent = -exponent;
  std::uint64_t significand = static_cast<std::uint64_t>(text[0] - '0');
  int fraction_digits = 0;
  for (const char* p = text + 2; p < e; ++p, ++fraction_digits) {
    significand = significand * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  // d1.d2...dn × 10^x is d1d2...dn × 10^(x - (n - 1)).
  return {significand, exponent - fraction_digits};
}

}  // namespace ondravane
