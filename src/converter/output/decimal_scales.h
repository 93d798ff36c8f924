// The factors that scale a double's 2^(q-2) by 10^-k, to 124 fraction
// bits: 10^-k · 2^(122 + q), from a table over k of 123-bit integers
// g = 10^-k · 2^(122 - e), e = floor(log2(10^-k)), rounded up where not
// exact, shifted by h = q + e (0 to 3). For the binary exponents of the
// common magnitudes, where the factor is exact, a second table holds it
// shifted already. The compiler computes both from exact integer arithmetic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "support/wide_arithmetic.h"

namespace ondravane::decimal_scales {

// k = floor(log10(2^q)) over every binary exponent q of a double's integer
// significand (-1074 to 971), and one less below some powers of two.
inline constexpr int kLowest = -324;
inline constexpr int kHighest = 292;

// 5^-k fits 123 bits for k >= -52: there g is exact.
inline constexpr int kLowestExact = -52;

// The binary exponents with floor(log10(2^q)) from kLowestExact to 0, where
// the factor is exact: the values from about 7.5e-37 to 7.2e16.
inline constexpr int kLowestExactExponent = -172;
inline constexpr int kHighestExactExponent = 3;

// floor(q · log10(2)), and floor(q · log10(2) + log10(3/4)) (the exponent
// below a power of two, where the interval under the value is half as
// wide), for the exponents above: 32-bit fixed-point logarithms, which tests
// check against exact integers.
constexpr int floor_log10_pow2(int q) {
  return static_cast<int>((std::int64_t{q} * 1292913986) >> 32);
}
constexpr int floor_log10_three_quarters_pow2(int q) {
  return static_cast<int>((std::int64_t{q} * 1292913986 - 536607788) >> 32);
}
// floor(j · log2(10)) for -kHighest <= j <= -kLowest.
constexpr int floor_log2_pow10(int j) {
  return static_cast<int>((std::int64_t{j} * 14267572527) >> 32);
}

namespace detail {

// Just enough of an unsigned big integer for the table: 2^864 / 5^292 still
// has 186 bits, and 5^324 takes 753.
struct Big {
  static constexpr std::size_t kLimbs = 28;  // of 32 bits
  std::array<std::uint32_t, kLimbs> limbs{};

  constexpr void multiply(std::uint32_t m) {
    std::uint64_t carry = 0;
    for (auto& limb : limbs) {
      const std::uint64_t product = std::uint64_t{limb} * m + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
  }
  constexpr void divide(std::uint32_t d) {
    std::uint64_t remainder = 0;
    for (std::size_t i = kLimbs; i-- > 0;) {
      const std::uint64_t current = (remainder << 32) | limbs[i];
      limbs[i] = static_cast<std::uint32_t>(current / d);
      remainder = current % d;
    }
  }
  constexpr int bit_length() const {
    for (std::size_t i = kLimbs; i-- > 0;) {
      if (limbs[i] != 0) {
        int bits = 0;
        for (std::uint32_t top = limbs[i]; top != 0; top >>= 1) ++bits;
        return static_cast<int>(i) * 32 + bits;
      }
    }
    return 0;
  }
  // The 32 bits from bit `from` up, zeros below bit 0.
  constexpr std::uint64_t chunk(int from) const {
    if (from <= -32) return 0;
    if (from < 0) return std::uint32_t{limbs[0] << -from};
    const auto i = static_cast<std::size_t>(from / 32);
    const int r = from % 32;
    const std::uint32_t above = r != 0 && i + 1 < kLimbs ? limbs[i + 1] << (32 - r) : 0;
    return (limbs[i] >> r) | above;
  }
  // The 123 bits from the top one down, rounded up when a one bit is cut
  // off (padded with zeros when there are fewer).
  constexpr Wide top_bits_rounded_up() const {
    const int from = bit_length() - 123;
    bool truncated = false;
    for (int n = 0; n < from; ++n) {
      truncated = truncated || ((limbs[static_cast<std::size_t>(n / 32)] >> (n % 32)) & 1) != 0;
    }
    const Wide top{(chunk(from + 96) << 32) | chunk(from + 64), (chunk(from + 32) << 32) | chunk(from)};
    return truncated ? PortableWide::add(top, Wide{0, 1}) : top;
  }
};

constexpr std::array<Wide, kHighest - kLowest + 1> scales() {
  std::array<Wide, kHighest - kLowest + 1> table{};
  // k <= 0: g is 5^-k with its top bit moved to bit 122.
  Big power{};
  power.limbs[0] = 1;
  for (int k = 0; k >= kLowest; --k) {
    table[static_cast<std::size_t>(k - kLowest)] = power.top_bits_rounded_up();
    power.multiply(5);
  }
  // k > 0: g is 2^(122 + L) / 5^k, L the bit length of 5^k, never an
  // integer. floor(2^864 / 5^k) holds its integer part in its top 123 bits,
  // as floors of floors are floors of the quotient; and a one bit below
  // them, as 5^k does not divide 2^864.
  Big quotient{};
  quotient.limbs[Big::kLimbs - 1] = 1;  // 2^864
  for (int k = 1; k <= kHighest; ++k) {
    quotient.divide(5);
    table[static_cast<std::size_t>(k - kLowest)] = quotient.top_bits_rounded_up();
  }
  return table;
}

}  // namespace detail

inline constexpr std::array<Wide, kHighest - kLowest + 1> kScales = detail::scales();

// 10^-k · 2^(122 + q) for the k given: floor(log10(2^q)), or one less below
// a power of two. Less than 8 above the exact value (g is less than 1 above
// it, times 2^h), and below 2^125.8, as 2^q / 10^k is under 10, or 40/3.
inline Wide factor(int q, int k) {
  const int h = q + floor_log2_pow10(-k);
  return shift_left(kScales[static_cast<std::size_t>(k - kLowest)], h);
}

inline constexpr std::array<Wide, kHighestExactExponent - kLowestExactExponent + 1> kExactFactors = [] {
  std::array<Wide, kHighestExactExponent - kLowestExactExponent + 1> table{};
  for (int q = kLowestExactExponent; q <= kHighestExactExponent; ++q) {
    const int k = floor_log10_pow2(q);
    table[static_cast<std::size_t>(q - kLowestExactExponent)] =
        shift_left(kScales[static_cast<std::size_t>(k - kLowest)], q + floor_log2_pow10(-k));
  }
  return table;
}();

// The same for kLowestExactExponent <= q <= kHighestExactExponent.
inline Wide exact_factor(int q) { return kExactFactors[static_cast<std::size_t>(q - kLowestExactExponent)]; }

}  // namespace ondravane::decimal_scales
