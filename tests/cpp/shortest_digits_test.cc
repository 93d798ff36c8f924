// The shortest digits against the library's where digit generation is most
// easily wrong: at the ends of binades and of the exponent range, where the
// bounds of the rounding interval are integers, where the value lies exactly
// halfway between two candidates, and where a shorter candidate barely fits.
// Every form of the computation is held against the same reference. Random
// doubles of the common kinds are compared by shortest_digits_sweep.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "converter/output/decimal_scales.h"
#include "shortest_digit_forms.h"
#include "shortest_reference.h"

namespace ondravane {
namespace {

constexpr std::uint64_t kHidden = std::uint64_t{1} << 52;

double from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }
std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }
// c · 2^q, exactly (c below 2^53).
double scaled(std::uint64_t c, int q) { return std::ldexp(static_cast<double>(c), q); }

struct Family {
  const char* name;
  std::vector<double> (*values)();
};

void PrintTo(const Family& family, std::ostream* os) { *os << family.name; }

class ShortestDigits : public testing::TestWithParam<Family> {};

TEST_P(ShortestDigits, EveryFormGivesTheLibrarysDigits) {
  const std::vector<double> values = GetParam().values();
  ASSERT_GT(values.size(), 1000u);
  for (const double value : values) {
    const double magnitude = std::fabs(value);
    if (!std::isfinite(magnitude) || magnitude == 0.0) continue;
    const reference::ShortestForm expected = reference::library_shortest(magnitude);
    for (const ShortestDigitForm& form : kShortestDigitForms) {
      const DecimalDigits got = form.digits(magnitude);
      ASSERT_EQ(got.significand, expected.significand) << form.name << " " << std::hexfloat << magnitude;
      ASSERT_EQ(got.exponent, expected.exponent) << form.name << " " << std::hexfloat << magnitude;
    }
  }
}

// Every power of two with its neighbours: the narrower interval below a
// normal one, and the smallest normal, whose interval is not narrower.
std::vector<double> powers_of_two() {
  std::vector<double> values;
  for (int power = -1074; power <= 1023; ++power) {
    const std::uint64_t bits = bits_of(std::ldexp(1.0, power));
    for (int step = -3; step <= 3; ++step) values.push_back(from_bits(bits + static_cast<std::uint64_t>(step)));
  }
  return values;
}

// Both ends of the range: the subnormals, with their 1 to 16 digits, the
// smallest normals, and the largest finite values.
std::vector<double> range_ends() {
  std::vector<double> values;
  std::mt19937_64 random(3);
  for (std::uint64_t bits = 1; bits <= 40000; ++bits) {
    values.push_back(from_bits(bits));
    values.push_back(from_bits(kHidden - 20000 + bits));
    values.push_back(from_bits(0x7FF0000000000000U - bits));
    values.push_back(from_bits(random() & (kHidden - 1)));
  }
  return values;
}

// From 2^53 up the bounds of the interval are integers, so whether they
// belong to it (even significands) decides; with a few significand bits the
// value is an integer too. From 2^56 the scale 10^-k is inexact, and
// multiples of large powers of ten are exact integers after scaling.
std::vector<double> large_integers() {
  std::vector<double> values;
  std::mt19937_64 random(5);
  for (int i = 0; i < 60000; ++i) {
    const int q = 1 + static_cast<int>(random() % 40);
    values.push_back(scaled(kHidden | (random() & (kHidden - 1)), q));
    values.push_back(scaled(kHidden | (random() & 0xFFFF0000000000U), q));
    // n · 10^j, exact while n · 5^j is below 2^53.
    const std::string decimal = std::to_string(random() % 1000000) + "e" + std::to_string(random() % 23);
    values.push_back(std::strtod(decimal.c_str(), nullptr));
  }
  return values;
}

// Scaled values exactly halfway between two integers: c · 5^-k · 2^(q-k)
// with c holding exactly k - q - 1 factors of two, over the exact scales.
std::vector<double> halfway_values() {
  std::vector<double> values;
  std::mt19937_64 random(7);
  for (int i = 0; values.size() < 200000; ++i) {
    const int q = decimal_scales::kLowestExactExponent + static_cast<int>(random() % 176);
    const int twos = decimal_scales::floor_log10_pow2(q) - q - 1;
    if (twos < 1 || twos > 52) continue;
    const std::uint64_t odd = (random() | 1) & ((std::uint64_t{1} << (53 - twos)) - 1);
    const std::uint64_t c = (odd | (std::uint64_t{1} << (52 - twos))) << twos;
    values.push_back(scaled(c, q));
  }
  return values;
}

// Short decimals on the exact path and their neighbours: the shorter
// candidate lies near a bound, just inside or just outside.
std::vector<double> short_decimals_and_neighbours() {
  std::vector<double> values;
  std::mt19937_64 random(11);
  for (int i = 0; i < 60000; ++i) {
    const std::uint64_t a = random();
    const std::uint64_t bits = bits_of(std::fabs(reference::exact_path_decimal(a, random())));
    for (int step = -2; step <= 2; ++step) values.push_back(from_bits(bits + static_cast<std::uint64_t>(step)));
  }
  return values;
}

// Float32 values with few significand bits (halves, quarters, 1.5, ...)
// widened: short digits with trailing zeros to strip, at every float exponent.
std::vector<double> short_widened_floats() {
  std::vector<double> values;
  std::mt19937_64 random(13);
  for (int i = 0; i < 200000; ++i) {
    const auto significand = static_cast<std::uint32_t>(random() % 256) << 15;
    const auto exponent = static_cast<std::uint32_t>(random() % 255) << 23;
    values.push_back(static_cast<double>(std::bit_cast<float>(exponent | significand)));
  }
  return values;
}

// The doubles whose products come nearest a boundary where the factor is
// neither exact nor bounded by 5^k: within 2^64 of one, the 16 that
// digit_margins.py finds (none within 2^58). With their neighbours.
std::vector<double> nearest_to_boundaries() {
  struct Place {
    std::uint64_t c;
    int q;
  };
  constexpr Place kPlaces[] = {
      {0x17c0747bd76fa1, -866}, {0x17c0747bd76fa1, -865}, {0x17c0747bd76fa1, -864}, {0x122cea327fa99d, -823},
      {0x1ec55666d8f9ed, 99},   {0x1ec55666d8f9ec, 99},   {0x13de005bd620df, 164},  {0x13de005bd620df, 165},
      {0x1dcd0089c1314f, 166},  {0x13de005bd620df, 166},  {0x1dcd0089c1314e, 166},  {0x1a999ddec72aca, 549},
      {0x1a999ddec72aca, 550},  {0x143e72fcd3aeb3, 587},  {0x143e72fcd3aeb2, 587},  {0x12240c80bda7bf, 917}};
  std::vector<double> values;
  for (const Place& place : kPlaces) {
    const std::uint64_t bits = bits_of(scaled(place.c, place.q));
    for (int step = -100; step <= 100; ++step) values.push_back(from_bits(bits + static_cast<std::uint64_t>(step)));
  }
  return values;
}

INSTANTIATE_TEST_SUITE_P(
    Families, ShortestDigits,
    testing::Values(Family{"PowersOfTwo", powers_of_two}, Family{"RangeEnds", range_ends},
                    Family{"LargeIntegers", large_integers}, Family{"Halfway", halfway_values},
                    Family{"ShortDecimals", short_decimals_and_neighbours},
                    Family{"ShortWidenedFloats", short_widened_floats},
                    Family{"NearestToBoundaries", nearest_to_boundaries}),
    [](const testing::TestParamInfo<Family>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondravane
