// Number grammar and conversion against an independent reading of the rule.
#include "converter/json/number_conversion.h"
#include "number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "number_reference.h"

namespace ondravane {
namespace {

struct GrammarCase {
  const char* text;
  bool is_number;
};

void PrintTo(const GrammarCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class NumberGrammarTest : public testing::TestWithParam<GrammarCase> {};

TEST_P(NumberGrammarTest, FollowsTheJsonGrammar) {
  EXPECT_EQ(is_json_number(GetParam().text), GetParam().is_number);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberGrammarTest,
    testing::Values(GrammarCase{"0", true}, GrammarCase{"-0", true}, GrammarCase{"7", true},
                    GrammarCase{"-12.5e-3", true}, GrammarCase{"1E+2", true}, GrammarCase{"1e02", true},
                    GrammarCase{"0.000", true}, GrammarCase{"123456789012345678901234567890", true},
                    GrammarCase{"1e999999999999", true}, GrammarCase{"", false}, GrammarCase{"-", false},
                    GrammarCase{"+1", false}, GrammarCase{"01", false}, GrammarCase{"-00", false},
                    GrammarCase{"1.", false}, GrammarCase{".5", false}, GrammarCase{"1e", false},
                    GrammarCase{"1e+", false}, GrammarCase{"1.e3", false}, GrammarCase{"NaN", false},
                    GrammarCase{"Infinity", false}, GrammarCase{"-infinity", false},
                    GrammarCase{"0x10", false}, GrammarCase{"1 ", false}, GrammarCase{"--1", false},
                    GrammarCase{"1e1.5", false}));

struct ConversionCase {
  const char* text;
  std::optional<double> value;  // nothing: rejected as out of range
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class NumberConversionTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(NumberConversionTest, GivesTheExpectedDouble) {
  const ConversionCase& c = GetParam();
  std::optional<double> parsed = parse_json_number(c.text);
  ASSERT_EQ(parsed.has_value(), c.value.has_value());
  if (parsed) {
    // Bit patterns, so that the sign of zero counts.
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*parsed), std::bit_cast<std::uint64_t>(*c.value))
        << *parsed << " vs " << *c.value;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberConversionTest,
    testing::Values(
        ConversionCase{"1e308", 1e308}, ConversionCase{"2e308", std::nullopt},
        ConversionCase{"1e999999999999", std::nullopt}, ConversionCase{"1e2147483647", std::nullopt},
        ConversionCase{"1e-400", 0.0}, ConversionCase{"-1e-400", -0.0},
        ConversionCase{"0e999999999999", 0.0}, ConversionCase{"-0e999999999999", -0.0},
        ConversionCase{"1e-999999999999", 0.0}, ConversionCase{"-5e-999999999999", -0.0},
        ConversionCase{"123456789012345678901234567890", 1.2345678901234568e29},
        ConversionCase{"9007199254740993", 9007199254740992.0},
        ConversionCase{"0.12088995980580641", 0.1208899598058064},
        ConversionCase{"0.1", 0.1}, ConversionCase{"0.3", 0.3}, ConversionCase{"1e23", 1e23},
        ConversionCase{"-0", -0.0}, ConversionCase{"-0.0", -0.0}, ConversionCase{"0", 0.0},
        ConversionCase{"18446744073709551615", 18446744073709551615.0},
        ConversionCase{"18446744073709551616", 18446744073709551610.0},
        ConversionCase{"1.7976931348623157e308", 1.7976931348623157e308},
        ConversionCase{"1.7976931348623159e308", std::nullopt},
        ConversionCase{"4.9e-324", 4.9e-324}, ConversionCase{"-12.5", -12.5},
        ConversionCase{"1000000000000000000000000e-24", 1.0},
        // Either side of the nearest-double guarantee, checked with exact
        // rational arithmetic. 234 and 10^22 are exact doubles, so one
        // rounding gives the nearest; 10^23 is not, so the quotient is
        // rounded twice and lands one unit above the nearest, 2.34e-21.
        ConversionCase{"2.34e-20", 2.34e-20},
        ConversionCase{"2.34e-21", 2.3400000000000003e-21},
        // 17 digits (above 2^53) and 10^23: both inputs of the division are
        // rounded, and it lands two units further from zero than the nearest,
        // -1.0151857310347623e-07.
        ConversionCase{"-1.0151857310347623e-07", -1.0151857310347625e-07}));

struct IndexCase {
  const char* text;
  std::optional<std::uint32_t> value;
};

void PrintTo(const IndexCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IndexTest : public testing::TestWithParam<IndexCase> {};

TEST_P(IndexTest, AcceptsPlainUnsigned32BitIntegersOnly) {
  EXPECT_EQ(parse_json_index(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Cases, IndexTest,
                         testing::Values(IndexCase{"0", 0u}, IndexCase{"7", 7u},
                                         IndexCase{"4294967295", 4294967295u},
                                         IndexCase{"4294967296", std::nullopt},
                                         IndexCase{"99999999999999999999", std::nullopt},
                                         IndexCase{"-0", std::nullopt}, IndexCase{"-1", std::nullopt},
                                         IndexCase{"1.0", std::nullopt}, IndexCase{"1e0", std::nullopt},
                                         IndexCase{"01", std::nullopt}, IndexCase{"", std::nullopt},
                                         IndexCase{"+1", std::nullopt}));

std::string random_digits(std::mt19937_64& rng, int count, bool leading_nonzero) {
  std::string digits;
  for (int k = 0; k < count; ++k) {
    int low = (k == 0 && leading_nonzero) ? 1 : 0;
    digits += static_cast<char>('0' + std::uniform_int_distribution<int>(low, 9)(rng));
  }
  return digits;
}

std::string random_number(std::mt19937_64& rng) {
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  std::string text;
  if (pick(0, 1)) text += '-';
  const int integer_length = pick(0, 4) == 0 ? 1 : pick(1, 24);
  text += integer_length == 1 && pick(0, 3) == 0 ? "0" : random_digits(rng, integer_length, true);
  if (pick(0, 2) != 0) text += "." + random_digits(rng, pick(1, 26), false);
  switch (pick(0, 5)) {
    case 0: break;
    case 1: text += "e" + std::to_string(pick(-30, 30)); break;
    case 2: text += "E+" + std::to_string(pick(280, 340)); break;
    case 3: text += "e-" + std::to_string(pick(280, 360)); break;
    case 4: text += "e" + std::string(pick(0, 3), '0') + std::to_string(pick(0, 400)); break;
    default: text += "e-" + random_digits(rng, pick(9, 13), true); break;
  }
  return text;
}

// Each number alone, where its digits are read eight at a time or one by
// one, and followed by a list's bytes, where runs of sixteen digits are read
// at once (on x86): both against the reference.
TEST(NumberConversion, MatchesAnIndependentImplementationOnGeneratedNumbers) {
  std::mt19937_64 rng(20240611);
  int converted = 0;
  for (int n = 0; n < 5000; ++n) {
    const std::string text = random_number(rng);
    SCOPED_TRACE(text);
    const std::optional<double> expected = reference::json_number_value(text);
    const std::optional<double> actual = parse_json_number(text);
    ASSERT_EQ(actual.has_value(), expected.has_value());
    const std::string in_list = text + ", 0.5, -0.25, 0.125, 1, 2, 3, 4, 5, 6, 7, 8, 9]";
    double listed = 0;
    const char* stop = parse_number(in_list.data(), in_list.data() + in_list.size(), listed);
    ASSERT_EQ(stop != nullptr, expected.has_value());
    if (actual) {
      ++converted;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(*actual), std::bit_cast<std::uint64_t>(*expected));
      EXPECT_EQ(stop, in_list.data() + text.size());
      ASSERT_EQ(std::bit_cast<std::uint64_t>(listed), std::bit_cast<std::uint64_t>(*expected));
    }
  }
  EXPECT_GT(converted, 4000);  // the generator mostly makes finite numbers
}

TEST(NumberConversion, IsNearestForShortSignificandsAndSmallExponents) {
  // Below 2^53 with |E| <= 22 both operations are exact or rounded once.
  std::mt19937_64 rng(7);
  for (int n = 0; n < 3000; ++n) {
    const std::uint64_t s = rng() % (std::uint64_t{1} << 53);
    const int e = static_cast<int>(rng() % 45) - 22;
    const std::string text = std::to_string(s) + "e" + std::to_string(e);
    SCOPED_TRACE(text);
    const std::optional<double> actual = parse_json_number(text);
    ASSERT_TRUE(actual.has_value());
    EXPECT_EQ(*actual, std::strtod(text.c_str(), nullptr));
  }
}

TEST(NumberScanning, StopsAtTheFirstByteThatCannotContinueTheNumber) {
  const std::string text = "-1.25e+3,";
  double value = 0;
  const char* end = text.data() + text.size();
  EXPECT_EQ(parse_number(text.data(), end, value), end - 1);
  EXPECT_EQ(value, -1250.0);
  EXPECT_EQ(scan_number(text.data(), end), end - 1);
  const std::string zero_then_digit = "01";
  EXPECT_EQ(scan_number(zero_then_digit.data(), zero_then_digit.data() + 2), zero_then_digit.data() + 1);
}

}  // namespace
}  // namespace ondravane
