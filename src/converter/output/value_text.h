// The text form of one vector value in the output file: the shortest decimal
// digits that read back as the same double, written positionally ("0.0000001",
// "100000000000000000000000"), never with an exponent.
#pragma once

#include <cstddef>
#include <cmath>
#include <span>

#include "converter/output/shortest_digits.h"
#include "support/float_eval.h"

namespace ondravane {

// The longest text format_value produces: a minus sign, "0.", and a last
// significant digit that can sit 324 places after the point (subnormals).
// The largest finite magnitude takes only 309 characters before the point.
inline constexpr std::size_t kMaxValueChars = 327;

// Writes the text of `value` to the start of `out` and returns its length.
// Zeros are "0" and "-0"; every other finite value is a minus sign when
// negative, then its shortest round-trip digits without an exponent.
// Infinities and NaN, which records never hold, come out as "inf"/"nan".
// Allocates nothing.
std::size_t format_value(double value, std::span<char, kMaxValueChars> out);

// The text of a nonzero value, negative or not, whose shortest digits are
// `digits` (shortest_digits.h): format_value's text without the search for
// them.
std::size_t format_digits(bool negative, DecimalDigits digits, std::span<char, kMaxValueChars> out);

// The room format_values needs for one more value: a blank and the value.
inline constexpr std::size_t kMaxValueSlot = kMaxValueChars + 1;

// Writes the texts of values from the first on to `out`, a blank between
// two (and before the first when `blank_first`), while `out` has a slot's
// room left; returns how many it wrote, none when `out` is smaller than a
// slot, and sets `used` to the bytes written. The same text as format_value
// value by value: a whole list's values in one call leave out a call each.
std::size_t format_values(std::span<const double> values, bool blank_first, std::span<char> out,
                          std::size_t& used);

// At least the length format_value gives `value`, cheaply: its shortest
// digits (17 at most) with a sign and "0.", unless the magnitude is below
// 10^-7 or from 10^17 on, where positional notation adds zeros.
inline std::size_t max_value_chars(double value) {
  const double magnitude = std::fabs(value);
  return magnitude == 0.0 || (magnitude >= 1e-7 && magnitude < 1e17) ? 26 : kMaxValueChars;
}

}  // namespace ondravane
