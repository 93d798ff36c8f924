// The shortest decimal digits of a double: the fewest significant digits
// that read back as the same double, and among those the nearest to it,
// ties to an even last digit. Digits only: value_text lays them out.
// Inline, as it runs for every value written.
//
// The candidates are chosen as in R. Giulietti's "The Schubfach way to render
// doubles": scaled by 10^-k, k = floor(log10(width of the rounding
// interval)), the interval is 1 to 10 units wide, so it holds at most one
// multiple of ten and at least one integer. A multiple of ten inside has
// fewer digits than any other candidate; without one, the integers inside
// all have the same number of digits and the nearest to the value is one of
// the two around it. The scaled value and bounds come from one 128-bit
// approximation of 10^-k, with the error bounded (see below) so that every
// comparison is decided exactly.
#pragma once

#include <bit>
#include <cstdint>

#include "converter/output/decimal_scales.h"
#include "support/float_eval.h"
#include "support/wide_arithmetic.h"

namespace ondravane {

// A positive finite double's shortest form: significand × 10^exponent, the
// significand of 1 to 17 digits, not ending in 0.
struct DecimalDigits {
  std::uint64_t significand;
  int exponent;
};

namespace shortest_digits_detail {

// floor(n / 10) for every 64-bit n: 0xCCCCCCCCCCCCCCCD is 2^67 / 10 rounded
// up. The multiplication avoids a 64-bit division call on 32-bit x86.
template <class Arithmetic>
std::uint64_t tenth(std::uint64_t n) {
  return Arithmetic::multiply(n, 0xCCCCCCCCCCCCCCCDU).high >> 3;
}

template <class Arithmetic>
DecimalDigits without_trailing_zeros(std::uint64_t n, int exponent) {
  for (std::uint64_t t = tenth<Arithmetic>(n); t * 10 == n; t = tenth<Arithmetic>(n)) {
    n = t;
    ++exponent;
  }
  return {n, exponent};
}

// b when `condition` holds, otherwise a, by a mask rather than a branch the
// compiler might choose: the condition depends on the value.
inline std::uint64_t select(bool condition, std::uint64_t b, std::uint64_t a) {
  const std::uint64_t mask = 0 - static_cast<std::uint64_t>(condition);
  return (b & mask) | (a & ~mask);
}

// The candidate to take, given the integers [lo, hi] of the scaled
// interval, the value's integer part s and the nearer of s and s + 1 (kept
// inside): a multiple of ten inside, below the value or above it, comes
// first. Chosen without branches: which one is taken depends on the value,
// and mispredicted branches cost more than computing both.
template <class Arithmetic>
[[gnu::always_inline]] inline DecimalDigits choose(std::uint64_t s, std::uint64_t nearer, std::uint64_t lo,
                                                   std::uint64_t hi, int k) {
  const std::uint64_t tens = tenth<Arithmetic>(s);
  const bool ten_below = lo <= tens * 10;
  const bool ten_above = tens * 10 + 10 <= hi;
  const bool shorter = ten_below | ten_above;
  const std::uint64_t shorter_n = tens + (ten_above ? 1 : 0);
  // Only a multiple of ten's tenth can end in zeros, and seldom does.
  if (shorter & (tenth<Arithmetic>(shorter_n) * 10 == shorter_n)) [[unlikely]] {
    return without_trailing_zeros<Arithmetic>(shorter_n, k + 1);
  }
  return {select(shorter, shorter_n, nearer), k + (shorter ? 1 : 0)};
}

// P = f · 4c for the factor f = 10^-k · 2^(122 + q) (decimal_scales.h): the
// value c · 2^q scaled by 10^-k, with its unit at bit 124. The integer part
// and the fraction, the latter in two words.
struct Scaled {
  std::uint64_t whole;
  Wide fraction;
};
template <class Arithmetic>
[[gnu::always_inline]] inline Scaled scaled_value(std::uint64_t c, Wide f) {
  const Wider p = Arithmetic::multiply(c << 2, f);
  return {(p.top << 4) | (p.rest.high >> 60), {p.rest.high & ((std::uint64_t{1} << 60) - 1), p.rest.low}};
}

// The bounds of the rounding interval (the midpoints to the neighbours,
// included when c is even) are the value ± 2^(q-1), or - 2^(q-2) below a
// power of two, where the neighbour below is twice as near: scaled, f / 2^123
// and f / 2^124 (below 8). Added to the value's fraction, the sum's part
// above the unit is what they add to its integer part: between -8 and 7,
// read from the top word as a signed number.
inline int offset_above(Wide sum) { return static_cast<int>(static_cast<std::int64_t>(sum.high) >> 60); }
inline Wide fraction_of(Wide sum) { return {sum.high & ((std::uint64_t{1} << 60) - 1), sum.low}; }

// The digits of c · 2^q for kLowestExactExponent <= q <= kHighestCommonExponent,
// c not a power of two. There the factor is exact, and neither bound is an
// integer: they are (2c ± 1) · 5^-k · 2^(q-k-1), odd numbers times a power
// of two below 1. So the bounds need only the top bits of their fractions;
// the value itself may be an integer or halfway between two.
inline constexpr int kHighestCommonExponent = 0;
template <class Arithmetic>
[[gnu::always_inline]] inline DecimalDigits common_digits(std::uint64_t c, int q) {
  using namespace decimal_scales;
  const Wide f = exact_factor(q);
  const Scaled value = scaled_value<Arithmetic>(c, f);
  const Wide half_width = shift_left(f, 1);
  const Wide upper = Arithmetic::add(value.fraction, half_width);
  const Wide lower = Arithmetic::subtract(value.fraction, half_width);
  const std::uint64_t s = value.whole;
  const std::uint64_t lo = s + static_cast<std::uint64_t>(offset_above(lower) + 1);
  const std::uint64_t hi = s + static_cast<std::uint64_t>(offset_above(upper));
  // Up when the fraction F is at least one half (2^123) plus one when s is
  // even (exactly one half rounds to even): when F + 2^123 - 1 + (s odd)
  // reaches 2^124. Adding 2^64 - 1 to the low word carries when it is not
  // zero.
  const std::uint64_t carry_in = (s & 1) | (value.fraction.low != 0 ? 1 : 0);
  std::uint64_t nearer = s + ((value.fraction.high + ((std::uint64_t{1} << 59) - 1) + carry_in) >> 60);
  nearer = nearer < lo ? lo : nearer;
  nearer = nearer > hi ? hi : nearer;
  return choose<Arithmetic>(s, nearer, lo, hi, floor_log10_pow2(q));
}

// Any positive finite double, with exact decisions everywhere: when the
// factor f is exact, so is P. Otherwise f is less than 2^h <= 8 too large,
// and P = f · (4c + d) less than 8 · (4c + d) < 2^58: a fraction of at
// least 2^58 is truly nonzero and the integer part is right. For
// 0 < k <= 27 a scaled value is an integer over 5^k, at least
// 1 / (2 · 5^27) > 2^-66 from every integer and half-integer it is not
// equal to, so a fraction below 2^58 means an exact integer, and one within
// 2^58 above one half cannot occur. Beyond (k above 27 or below -52) no
// double has a product with a fraction below 2^58 or within 2^58 above one
// half: tests/cpp/digit_margins.py counts them for every binary exponent
// and finds none. So the same reading of the fractions decides there too.
template <class Arithmetic>
[[gnu::noinline]] DecimalDigits any_digits(double magnitude) {
  using namespace decimal_scales;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const std::uint64_t field = bits & ((std::uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>(bits >> 52);
  // Subnormals share the smallest normals' exponent, without the hidden bit.
  const std::uint64_t c = biased == 0 ? field : field | (std::uint64_t{1} << 52);
  const int q = (biased == 0 ? 1 : biased) - 1075;
  // The smallest normal's neighbour below is a subnormal, as far away as the
  // one above.
  const bool below_power_of_two = field == 0 && biased > 1;
  const int k = below_power_of_two ? floor_log10_three_quarters_pow2(q) : floor_log10_pow2(q);
  const Wide f = factor(q, k);

  const Scaled value = scaled_value<Arithmetic>(c, f);
  const Wide upper = Arithmetic::add(value.fraction, shift_left(f, 1));
  const Wide lower = Arithmetic::subtract(value.fraction, below_power_of_two ? f : shift_left(f, 1));
  const Wide upper_fraction = fraction_of(upper);
  const Wide lower_fraction = fraction_of(lower);
  const Wide fraction = value.fraction;

  constexpr std::uint64_t kHalf = std::uint64_t{1} << 59;  // of the fraction's high word
  // Fractions below `slack` are zero.
  const std::uint64_t slack = k >= kLowestExact && k <= 0 ? 1 : std::uint64_t{1} << 58;
  const bool open = (c & 1) != 0;
  const bool lower_is_integer = lower_fraction.high == 0 && lower_fraction.low < slack;
  const bool upper_is_integer = upper_fraction.high == 0 && upper_fraction.low < slack;
  // The integers of the scaled interval: [lo, hi].
  const std::uint64_t s = value.whole;
  const std::uint64_t lo =
      s + static_cast<std::uint64_t>(offset_above(lower) + (open || !lower_is_integer ? 1 : 0));
  const std::uint64_t hi =
      s + static_cast<std::uint64_t>(offset_above(upper) - (open && upper_is_integer ? 1 : 0));

  // s or s + 1, the nearer, ties to even, kept inside.
  const bool above_half = fraction.high > kHalf || (fraction.high == kHalf && fraction.low >= slack);
  const bool tie = fraction.high == kHalf && fraction.low < slack;
  std::uint64_t nearer = s + (above_half || (tie && (s & 1) != 0) ? 1 : 0);
  nearer = nearer < lo ? lo : nearer;
  nearer = nearer > hi ? hi : nearer;
  return choose<Arithmetic>(s, nearer, lo, hi, k);
}

}  // namespace shortest_digits_detail

// `magnitude` must be positive and finite. Arithmetic is one of the forms of
// support/wide_arithmetic.h; both give the same digits. The values of
// activations take the inline path; the rest a call.
template <class Arithmetic>
[[gnu::always_inline]] inline DecimalDigits shortest_digits_with(double magnitude) {
  using namespace shortest_digits_detail;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const std::uint64_t field = bits & ((std::uint64_t{1} << 52) - 1);
  const int q = static_cast<int>(bits >> 52) - 1075;
  if (field == 0 || q < decimal_scales::kLowestExactExponent || q > kHighestCommonExponent) [[unlikely]] {
    return any_digits<Arithmetic>(magnitude);
  }
  return common_digits<Arithmetic>(field | (std::uint64_t{1} << 52), q);
}

[[gnu::always_inline]] inline DecimalDigits shortest_digits(double magnitude) {
  return shortest_digits_with<FastestWide>(magnitude);
}

}  // namespace ondravane
