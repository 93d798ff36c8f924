// The exponent arithmetic and the scale tables of the shortest digits,
// checked exactly with big integers against their definitions: a wrong bit
// in an entry or a logarithm one off at some exponent would change digits
// only for the few values that meet it.
#include "converter/output/decimal_scales.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <compare>
#include <cstdint>

#include "converter/output/shortest_digits.h"
#include "natural_number.h"

namespace ondravane::decimal_scales {
namespace {

using testing_support::Natural;

// coefficient · 2^two · 10^ten, compared exactly.
struct Exact {
  Natural coefficient;
  int two = 0;
  int ten = 0;
};
std::strong_ordering operator<=>(const Exact& a, const Exact& b) {
  const int two = std::min(a.two, b.two);
  const int ten = std::min(a.ten, b.ten);
  const auto integer = [&](const Exact& x) {
    return x.coefficient.shifted(x.two - two) * Natural::power(10, x.ten - ten);
  };
  return integer(a) <=> integer(b);
}
bool operator==(const Exact& a, const Exact& b) { return (a <=> b) == 0; }
Exact power_of_two(int n) { return {Natural(1), n, 0}; }
Exact power_of_ten(int n) { return {Natural(1), 0, n}; }

TEST(DecimalExponents, FloorLog10OfEveryBinaryExponent) {
  for (int q = -1074; q <= 971; ++q) {
    const int k = floor_log10_pow2(q);
    ASSERT_LE(power_of_ten(k), power_of_two(q)) << q;
    ASSERT_LT(power_of_two(q), power_of_ten(k + 1)) << q;
    ASSERT_GE(k, kLowest);
    ASSERT_LE(k, kHighest);
    // Below a power of two, the interval under the value is 3/4 as wide.
    const int below = floor_log10_three_quarters_pow2(q);
    const Exact three_quarters{Natural(3), q - 2, 0};
    ASSERT_LE(power_of_ten(below), three_quarters) << q;
    ASSERT_LT(three_quarters, power_of_ten(below + 1)) << q;
    ASSERT_GE(below, kLowest);
    // The inline path's exponents are exactly those of the exact factors.
    const bool exact_scale = k >= kLowestExact && k <= 0;
    ASSERT_EQ(exact_scale, q >= kLowestExactExponent && q <= kHighestExactExponent) << q;
  }
  EXPECT_LE(shortest_digits_detail::kHighestCommonExponent, kHighestExactExponent);
}

TEST(DecimalExponents, FloorLog2OfEveryDecimalExponent) {
  for (int j = -kHighest; j <= -kLowest; ++j) {
    const int e = floor_log2_pow10(j);
    ASSERT_LE(power_of_two(e), power_of_ten(j)) << j;
    ASSERT_LT(power_of_ten(j), power_of_two(e + 1)) << j;
  }
}

TEST(DecimalScales, EachEntryIsItsPowerOfTenRoundedUpTo123Bits) {
  for (int k = kLowest; k <= kHighest; ++k) {
    const Wide entry = kScales[static_cast<std::size_t>(k - kLowest)];
    const Natural g = Natural::of_words(entry.high, entry.low);
    const Exact defined{Natural(1), 122 - floor_log2_pow10(-k), -k};  // 10^-k · 2^(122 - e)
    ASSERT_LE(power_of_two(122), Exact{g}) << k;
    ASSERT_LT(Exact{g}, power_of_two(123)) << k;
    ASSERT_LE(defined, Exact{g}) << k;
    const Wide below = PortableWide::subtract(entry, Wide{0, 1});
    ASSERT_LT(Exact{Natural::of_words(below.high, below.low)}, defined) << k;
    const bool exact = defined == Exact{g};
    ASSERT_EQ(exact, k >= kLowestExact && k <= 0) << k;
  }
}

// The general path's bound on its error: f is less than 8 above the value
// it stands for, and exact where the scale is (and there the inline path's
// table holds it too).
TEST(DecimalScales, EveryFactorIsLessThan8AboveItsValue) {
  for (int q = -1074; q <= 971; ++q) {
    for (const int k : {floor_log10_pow2(q), floor_log10_three_quarters_pow2(q)}) {
      const int h = q + floor_log2_pow10(-k);
      ASSERT_GE(h, 0) << q;
      ASSERT_LE(h, 3) << q;
      const Wide f = factor(q, k);
      // Below 2^126 - 2^123, so that twice f plus a fraction below 2^124
      // stays below 2^127: the bounds' offsets are read as signed numbers.
      ASSERT_LT(f.high, (std::uint64_t{1} << 62) - (std::uint64_t{1} << 59)) << q;
      const Exact defined{Natural(1), 122 + q, -k};  // 10^-k · 2^(122 + q)
      ASSERT_LE(defined, Exact{Natural::of_words(f.high, f.low)}) << q;
      const Wide less = PortableWide::subtract(f, Wide{0, 8});
      ASSERT_LT(Exact{Natural::of_words(less.high, less.low)}, defined) << q;
      if (k >= kLowestExact && k <= 0) {
        ASSERT_TRUE(defined == Exact{Natural::of_words(f.high, f.low)}) << q;
      }
      // The inline path's table holds the same factors, shifted already.
      if (q >= kLowestExactExponent && q <= kHighestExactExponent && k == floor_log10_pow2(q)) {
        ASSERT_EQ(exact_factor(q).high, f.high) << q;
        ASSERT_EQ(exact_factor(q).low, f.low) << q;
      }
    }
  }
}

}  // namespace
}  // namespace ondravane::decimal_scales
