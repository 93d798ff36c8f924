// When the digits a value was read from are already its shortest digits, so
// that writing it needs no search for them: the dumps this converts are
// written by programs that print the shortest digits themselves (the 17 or so
// digits of a widened float32, or a few after rounding), and a value read from
// such a text and converted exactly to the double those digits name is
// written with the same digits.
#pragma once

#include <bit>
#include <cstdint>

#include "converter/json/number_scan.h"
#include "converter/output/shortest_digits.h"
#include "support/integer_powers_of_ten.h"
#include "support/wide_arithmetic.h"

namespace ondravane {

namespace digits_as_read_detail {

// Decimal exponents within this of zero have exact powers of ten as doubles:
// the conversion of at most 19 digits then rounds twice at most (the digits
// to a double, then the one scaling), and not at all before the scaling
// below 2^53.
inline constexpr int kExactPowers = 22;

inline constexpr auto kPowersOfFive = integer_powers<kExactPowers + 1>(5);

}  // namespace digits_as_read_detail

// Whether the number text that `scan` describes holds the shortest digits
// (shortest_digits.h) of `magnitude`, the magnitude convert_number made of
// that scan; if so, `digits` receives them. Decides exactly, and quickly
// enough to take the place of the search, for the texts of at most 19
// significant digits whose decimal exponent is within 22 of zero; says no to
// the rest, which are then written the usual way.
//
// - Fifteen significant digits or fewer: converted with one rounding, the
//   value is the double nearest to them, and such decimals are each the only
//   one of fifteen digits or fewer in their double's rounding interval (see
//   value_text.cc), so they are its shortest form, trailing zeros dropped.
// - Sixteen to nineteen: the value can be a neighbour of the double nearest
//   to the text (two roundings), and two decimals of sixteen digits can
//   share a double. So the text x = S · 10^-q is measured against the value
//   v = m · 2^e exactly, in units of 2^e / 5^q, where D = S · 2^(-q-e) -
//   m · 5^q is x - v, 5^q is one unit in the last place of v and 2^(-q-e) is
//   one unit in the last digit of S. S is the shortest form when no other
//   decimal of as many digits is nearer to v than x, that is |D| is below
//   half a unit in the last digit (or exactly half, the last digit even),
//   and when neither multiple of ten units around x lies in v's rounding
//   interval (no fewer digits read back as v: any decimal of fewer digits
//   lies beyond one of those two). x itself then lies in the interval.
//   x is within two units in the last place of v (two roundings of at most
//   half a unit each), so |2D| < 4 · 5^22 < 2^54: every quantity fits a
//   64-bit integer, and D is computed modulo 2^64.
inline bool digits_as_read(const NumberScan& scan, double magnitude, DecimalDigits& digits) {
  using namespace digits_as_read_detail;
  const std::uint64_t s = scan.gathered;
  if (scan.gathered_count > 19 || scan.exponent_saturated || s == 0) return false;
  const std::int64_t written = scan.exponent_negative ? -std::int64_t{scan.exponent} : std::int64_t{scan.exponent};
  const std::int64_t exponent = written - static_cast<std::int64_t>(scan.fraction_count);
  if (exponent < -kExactPowers || exponent > kExactPowers) return false;
  if (s < kIntegerPowersOfTen[15]) {
    digits = shortest_digits_detail::without_trailing_zeros<FastestWide>(s, static_cast<int>(exponent));
    return true;
  }
  // At least 10^15 · 10^-22: a normal double.
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int biased = static_cast<int>(bits >> 52);
  const int q = static_cast<int>(-exponent);
  const int t = -q - (biased - 1075);
  // t < 0: a digit of S is wider than the last place of v (integers beyond
  // 2^53). t is at most 54 for these texts; the bound keeps the shifts below
  // from overflowing whatever the caller passes.
  if (q < 0 || t < 0 || t > 58) return false;
  const std::uint64_t last_digit = s - shortest_digits_detail::tenth<FastestWide>(s) * 10;
  const auto twice_d = static_cast<std::int64_t>(((s << t) - m * kPowersOfFive[q]) << 1);
  const auto ulp = static_cast<std::int64_t>(kPowersOfFive[q]);
  const std::int64_t step = std::int64_t{1} << t;
  const std::int64_t distance = twice_d < 0 ? -twice_d : twice_d;
  // x lies in v's rounding interval whenever S is the nearest below: a text
  // below 2^53 is converted with one rounding, and above, a unit in the
  // last place of v is wider than two units in the last digit. And 5^q is
  // odd and every other quantity compared with it below even, so x never
  // lies on a bound of the interval: whether the interval includes its
  // bounds never matters. A power of two has the lower bound of its interval
  // a quarter unit away, not half: the half taken here may say no to a
  // power of two's shortest digits, never yes to other digits.
  // Bitwise rather than short-circuit: each part depends on the value, and
  // branches on it would be mispredicted.
  //
  // The multiples of ten units below and above x, (last digit) and
  // (10 - last digit) units away, must lie outside (a text ending in zero is
  // such a multiple itself, inside).
  const bool none_below = twice_d + ulp < static_cast<std::int64_t>(last_digit) << (t + 1);
  const bool none_above = ulp - twice_d < static_cast<std::int64_t>(10 - last_digit) << (t + 1);
  // v halfway between x and the next decimal of as many digits (which then
  // lies inside too): the even last digit is the one written.
  const bool nearest = (distance < step) | ((distance == step) & ((last_digit & 1) == 0));
  if (!(none_below & none_above & nearest)) return false;
  digits = {s, static_cast<int>(exponent)};
  return true;
}

}  // namespace ondravane
