// The shortest digits as the converter computed them before the current
// algorithm: an exact 128-bit path for binary exponents -88 to -1 and the
// library's std::to_chars elsewhere. Kept only so that the micro-benchmark
// measures both in one run of one binary.
#pragma once

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>

#include "converter/output/shortest_digits.h"
#include "support/float_eval.h"
#include "support/integer_powers_of_ten.h"

namespace ondravane::previous {

// The library's shortest scientific form, d1[.d2...dn]e<sign><two or three
// digits>, read back as digits and exponent.
inline DecimalDigits shortest_digits_by_library(double magnitude) {
  char text[40];
  const char* const end =
      std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific).ptr;
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
  return {significand, exponent - fraction_digits};
}

// The exact path needs 128-bit products; targets without them (32-bit x86)
// take the library's digits for every value.
#if defined(__SIZEOF_INT128__)
#define ONDRAVANE_PREVIOUS_EXACT_SHORTEST 1

namespace shortest_digits_detail {

__extension__ typedef unsigned __int128 u128;

// base^0, base^1, ..., base^(N-1), all below 2^64.
template <std::size_t N>
constexpr std::array<std::uint64_t, N> powers_of(std::uint64_t base) {
  std::array<std::uint64_t, N> powers{};
  std::uint64_t power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= base;
  }
  return powers;
}

// 5^s shifted up until its top bit is bit 63, and the shift: exact for
// s <= 27, as 5^27 < 2^63.
struct NormalizedPower {
  std::uint64_t significand;
  int shift;
};
constexpr std::array<NormalizedPower, 28> normalized_powers_of_five() {
  std::array<NormalizedPower, 28> table{};
  for (std::size_t s = 0; s < table.size(); ++s) {
    const std::uint64_t power = powers_of<28>(5)[s];
    const int shift = std::countl_zero(power);
    table[s] = {power << shift, shift};
  }
  return table;
}
inline constexpr auto kFive = normalized_powers_of_five();

// Binary exponents (of the value as an integer significand of 53 bits times
// 2^q) for which shortest_exact works: from q = -88 (values from about
// 1.5e-11) to q = -1 (values below 2^52), which covers what activation files
// hold. Everything else goes to the library.
inline constexpr int kLowestExponent = -88;
inline constexpr int kHighestExponent = -1;

inline std::uint64_t high_word(u128 x) { return static_cast<std::uint64_t>(x >> 64); }
inline std::uint64_t low_word(u128 x) { return static_cast<std::uint64_t>(x); }

// The shortest digits of a normal double v = c × 2^q with q in the range
// above, computed exactly. Reading decimal text back rounds to the nearest
// double, ties to the even significand, so the decimals that read back as v
// are those between the midpoints to its neighbours, the midpoints included
// when c is even. Among those, the ones with the fewest significant digits
// are the multiples of the largest power of ten the interval holds a
// multiple of (two of them would straddle a multiple of the next power, and
// a multiple with fewer digits at a lower power would put a power of ten
// inside the interval); the one nearest to v is taken, ties to an even last
// digit. (In this range a midpoint has at least 18 significant digits, so it
// never is a candidate itself; the inclusion rule is kept for what it says.)
//
// Everything is scaled by 10^s, with s chosen so that the interval, whose
// width is 2^q (or 3/4 of it below a power of two), becomes at least 1.5
// units wide: then it holds an integer, and its bounds are below 2^58. The
// scaled value and the midpoints are 4c·5^s and (4c ± 2)·5^s (4c - 1 below a
// power of two) in units of 2^-(t+2), t = -(s + q) >= 0. They are computed
// as 128-bit products with 5^s normalized to 64 bits and 4c shifted by h
// (0 to 3) more, so that the unit falls exactly on bit 64: the integer part
// is the high word and the fraction the low word, with no shift of 128 bits.
// Exact, because 4c·2^h < 2^58 and the normalized 5^s < 2^64.
inline DecimalDigits shortest_exact(std::uint64_t c, bool lower_closer, int q) {
  // s = ceil((1 - q)·log10(2)); (1 - q)·log10(2) is never an integer here,
  // and 78913 / 2^18 approximates log10(2) closely enough below 1650.
  const int s = static_cast<int>((static_cast<std::uint32_t>(1 - q) * 78913U) >> 18) + 1;
  const NormalizedPower five = kFive[static_cast<std::size_t>(s)];
  // In 4c·5^s the scaled value's unit is bit t + 2; the normalization and h
  // move it by five.shift + h, to bit 64.
  const int h = 62 + q + s - five.shift;
  const u128 center = static_cast<u128>((4 * c) << h) * five.significand;
  const u128 below =
      center - static_cast<u128>(std::uint64_t{lower_closer ? 1U : 2U} << h) * five.significand;
  const u128 above = center + static_cast<u128>(std::uint64_t{2} << h) * five.significand;

  // The integers of the scaled interval: [lo, hi].
  const bool inclusive = (c & 1) == 0;
  std::uint64_t lo = high_word(below) + (!inclusive || low_word(below) != 0 ? 1 : 0);
  std::uint64_t hi = high_word(above) - (!inclusive && low_word(above) == 0 ? 1 : 0);

  // Up the powers of ten while the interval still holds a multiple; n
  // follows as the value's integer part at each power (floors of floors).
  const std::uint64_t whole = high_word(center);
  std::uint64_t n = whole;
  // The first step is taken or not without a branch: whether it is taken
  // depends on the value, and a mispredicted branch costs more than both
  // sides. A second step is rare.
  const std::uint64_t lo_tens = (lo + 9) / 10;
  const std::uint64_t hi_tens = hi / 10;
  const bool tens = lo_tens <= hi_tens;
  lo = tens ? lo_tens : lo;
  hi = tens ? hi_tens : hi;
  n = tens ? n / 10 : n;
  int level = tens ? 1 : 0;
  while (tens && (lo + 9) / 10 <= hi / 10) {
    lo = (lo + 9) / 10;
    hi /= 10;
    n /= 10;
    ++level;
  }

  // The multiple nearest to the value, ties to even, kept in [lo, hi]: the
  // remainder below it, with the fraction as its low word, against half the
  // power (2^63 in the low word when the power is 1).
  const std::uint64_t power = kIntegerPowersOfTen[static_cast<std::size_t>(level)];
  const u128 remainder = (static_cast<u128>(whole - n * power) << 64) | low_word(center);
  const u128 half = (static_cast<u128>(power >> 1) << 64) | (static_cast<u128>(power & 1) << 63);
  n += static_cast<std::uint64_t>((remainder > half) | ((remainder == half) & ((n & 1) != 0)));
  if (n < lo) n = lo;
  if (n > hi) n = hi;
  return {n, level - s};
}

}  // namespace shortest_digits_detail

#endif

// `magnitude` must be positive and finite.
[[gnu::always_inline]] inline DecimalDigits shortest_digits(double magnitude) {
#if defined(ONDRAVANE_PREVIOUS_EXACT_SHORTEST)
  using namespace shortest_digits_detail;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  const int q = biased - 1075;
  if (biased != 0 && q >= kLowestExponent && q <= kHighestExponent) {
    const std::uint64_t field = bits & ((std::uint64_t{1} << 52) - 1);
    return shortest_exact(field | (std::uint64_t{1} << 52), field == 0, q);
  }
#endif
  return shortest_digits_by_library(magnitude);
}

}  // namespace ondravane::previous
