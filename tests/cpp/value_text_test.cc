// The text of values: the table of examples and round trips of random
// doubles, never longer than the shortest form.
#include "converter/output/value_text.h"

#include <gtest/gtest.h>

#include "converter/line/line_parser.h"
#include "converter/output/digit_text.h"
#include "converter/output/value_list_text.h"
#include "read_texts.h"

#include <array>
#include <charconv>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace ondravane {
namespace {

constexpr char kUnused = '#';

constexpr std::uint64_t kPowersOfTenForTests[18] = {
    1,           10,           100,           1000,           10000,           100000,
    1000000,     10000000,     100000000,     1000000000,     10000000000,     100000000000,
    1000000000000, 10000000000000, 100000000000000, 1000000000000000, 10000000000000000,
    100000000000000000};

// Formats into a buffer with a guard zone behind the kMaxValueChars bytes the
// formatter may use, and checks the guard is intact.
std::string formatted(double value) {
  std::array<char, kMaxValueChars + 16> buffer;
  buffer.fill(kUnused);
  const std::size_t size =
      format_value(value, std::span<char, kMaxValueChars>(buffer.data(), kMaxValueChars));
  EXPECT_LE(size, kMaxValueChars);
  for (std::size_t i = kMaxValueChars; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kUnused);
  return std::string(buffer.data(), size);
}

std::string zeros(int count) { return std::string(static_cast<std::size_t>(count), '0'); }

struct FormatCase {
  const char* name;
  double value;
  std::string text;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class ValueFormatTable : public testing::TestWithParam<FormatCase> {};

TEST_P(ValueFormatTable, WritesExpectedText) {
  EXPECT_EQ(formatted(GetParam().value), GetParam().text);
}

const double kLargest = std::numeric_limits<double>::max();
const double kSmallestSubnormal = std::numeric_limits<double>::denorm_min();
const double kSmallestNormal = std::numeric_limits<double>::min();

INSTANTIATE_TEST_SUITE_P(
    Table, ValueFormatTable,
    testing::Values(
        FormatCase{"Zero", 0.0, "0"}, FormatCase{"NegativeZero", -0.0, "-0"},
        FormatCase{"One", 1.0, "1"}, FormatCase{"Hundred", 100.0, "100"},
        FormatCase{"Half", 0.5, "0.5"}, FormatCase{"NegativeTwoAndAQuarter", -2.25, "-2.25"},
        FormatCase{"OneTenth", 0.1, "0.1"},
        FormatCase{"TenthPlusFifth", 0.1 + 0.2, "0.30000000000000004"},
        FormatCase{"OneThird", 1.0 / 3.0, "0.3333333333333333"},
        FormatCase{"OnePointFiveEMinus7", 1.5e-7, "0.00000015"},
        FormatCase{"TenToMinus7", 1e-7, "0.0000001"},
        FormatCase{"TenToThe21", 1e21, "1" + zeros(21)},
        // The exact binary value is 99999999999999991611392; the shortest
        // digits are a single 1.
        FormatCase{"TenToThe23", 1e23, "1" + zeros(23)},
        FormatCase{"ThirtyDigitLiteral", 123456789012345678901234567890.0,
                   "123456789012345680000000000000"},
        FormatCase{"TwoToThe63", 9223372036854775808.0, "9223372036854776000"},
        FormatCase{"TwoToThe64", 18446744073709551616.0, "18446744073709552000"},
        FormatCase{"PointInsideDigits", 12.375, "12.375"},
        FormatCase{"SixPlaces", -0.123456, "-0.123456"},
        FormatCase{"FifteenDigitsLowInTheirBinade", 9.99999999999999, "9.99999999999999"},
        FormatCase{"FifteenDigitsHighInTheirBinade", 12.3456789012345, "12.3456789012345"},
        FormatCase{"OneStepAboveSixPlaces", 0.12345600000000001, "0.12345600000000001"},
        FormatCase{"NineZerosAfterThePoint", 1.5e-9, "0.0000000015"},
        FormatCase{"FourteenDigitsBeforeThePoint", 98765432109876.5, "98765432109876.5"},
        FormatCase{"NegativeLargeFraction", -123456.789, "-123456.789"},
        FormatCase{"SeventeenDigitsBeforePoint", 12345678901234567.0, "12345678901234568"},
        FormatCase{"Largest", kLargest, "17976931348623157" + zeros(292)},
        FormatCase{"NegativeLargest", -kLargest, "-17976931348623157" + zeros(292)},
        FormatCase{"SmallestSubnormal", kSmallestSubnormal, "0." + zeros(323) + "5"},
        FormatCase{"TwoDigitSubnormal", 3 * kSmallestSubnormal, "0." + zeros(322) + "15"},
        // The longest text of all: 17 digits starting 308 places after the point.
        FormatCase{"NegativeSmallestNormal", -kSmallestNormal,
                   "-0." + zeros(307) + "22250738585072014"}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(ValueFormat, SpecialValuesStayShort) {
  EXPECT_EQ(formatted(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(formatted(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(formatted(std::numeric_limits<double>::quiet_NaN()), "nan");
}

// A positional text split into sign, significant digits and k, with value =
// 0.digits x 10^k.
struct Positional {
  bool negative = false;
  std::string digits;
  int k = 0;
};

// Splits `text`, failing on anything but the format's own shape: no
// exponent, no plus sign, no leading or trailing zero that carries nothing.
testing::AssertionResult parse_positional(std::string_view text, Positional& out) {
  constexpr auto npos = std::string_view::npos;
  out.negative = text.starts_with('-');
  if (out.negative) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  const std::size_t integer_size = point == npos ? text.size() : point;
  std::string all(text);
  std::erase(all, '.');
  const bool well_formed =
      integer_size > 0 && all.find_first_not_of("0123456789") == npos &&
      (integer_size == 1 || text[0] != '0') &&
      (point == npos || (text.find('.', point + 1) == npos && point + 1 < text.size() &&
                         text.back() != '0'));
  const std::size_t lead = all.find_first_not_of('0');
  if (!well_formed || lead == npos) return testing::AssertionFailure() << "malformed " << text;
  out.digits = all.substr(lead, all.find_last_not_of('0') + 1 - lead);
  out.k = static_cast<int>(integer_size) - static_cast<int>(lead);
  return testing::AssertionSuccess();
}

double parse(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// The digits and scientific exponent of "%.*e" of `value`, which rounds the
// exact binary value correctly to precision + 1 significant digits.
void printf_digits(double value, int precision, std::string& digits, int& exponent) {
  char text[1024];
  std::snprintf(text, sizeof text, "%.*e", precision, value);
  const std::string s(text);
  const std::size_t e = s.find('e');
  digits.clear();
  for (std::size_t i = 0; i < e; ++i) {
    if (s[i] != '.') digits += s[i];
  }
  exponent = std::atoi(s.c_str() + e + 1);
}

// True when `value` lies exactly halfway between two n-digit decimals.
bool is_tie_at(double value, std::size_t n) {
  std::string exact;
  int exponent;
  printf_digits(value, 800, exact, exponent);  // more than any double's exact expansion
  return exact[n] == '5' && exact.find_first_not_of('0', n + 1) == std::string::npos;
}

// Checks one finite non-zero value against the format's definition, using the
// C library's conversions as an independent reference.
void check_value(double value) {
  const std::string text = formatted(value);
  SCOPED_TRACE(text);
  ASSERT_EQ(text.find_first_of("eE"), std::string::npos);
  Positional positional;
  ASSERT_TRUE(parse_positional(text, positional));
  EXPECT_EQ(positional.negative, std::signbit(value));
  ASSERT_EQ(std::bit_cast<std::uint64_t>(parse(text)), std::bit_cast<std::uint64_t>(value));

  const double magnitude = std::fabs(value);
  const std::size_t n = positional.digits.size();
  ASSERT_LE(n, 17u);

  // No shorter digit string reads back as the value. The strings of n - 1
  // digits that round-trip form an interval around it, so it is enough to try
  // the nearest one and its neighbours.
  if (n > 1) {
    std::string shorter;
    int exponent;
    printf_digits(magnitude, static_cast<int>(n) - 2, shorter, exponent);
    const long long nearest = std::stoll(shorter);
    for (long long candidate : {nearest - 1, nearest, nearest + 1}) {
      const std::string probe =
          std::to_string(candidate) + "e" + std::to_string(exponent - static_cast<int>(n) + 2);
      EXPECT_NE(parse(probe), magnitude) << "shorter " << probe << " also reads back";
    }
  }

  // Among the strings of n digits, the nearest to the value was chosen.
  std::string nearest;
  int exponent;
  printf_digits(magnitude, static_cast<int>(n) - 1, nearest, exponent);
  if (nearest != positional.digits) {
    EXPECT_TRUE(is_tie_at(magnitude, n)) << "nearest digits are " << nearest;
  } else {
    EXPECT_EQ(exponent + 1, positional.k);
  }
}

// Families of values drawn at random, each checked against the definition.
struct Sample {
  const char* name;
  int count;
  double (*draw)(std::mt19937_64&);
};

void PrintTo(const Sample& sample, std::ostream* os) { *os << sample.name; }

class ValueFormatProperty : public testing::TestWithParam<Sample> {};

TEST_P(ValueFormatProperty, ShortestPositionalRoundTrip) {
  std::mt19937_64 random(20240611);
  for (int checked = 0; checked < GetParam().count;) {
    const double value = GetParam().draw(random);
    if (!std::isfinite(value) || value == 0.0) continue;
    check_value(value);
    if (HasFailure()) return;
    ++checked;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, ValueFormatProperty,
    testing::Values(
        // Uniform bit patterns: every binary exponent equally often.
        Sample{"AnyBitPattern", 250000,
               [](std::mt19937_64& r) { return std::bit_cast<double>(r()); }},
        // Exponent fields 0 (subnormal) to 3: the longest texts.
        Sample{"SubnormalAndTiny", 30000,
               [](std::mt19937_64& r) {
                 return std::bit_cast<double>(r() & 0x803fffffffffffffu);
               }},
        // Integers of every width: the zeros padded after the digits.
        Sample{"Integer", 20000,
               [](std::mt19937_64& r) { return static_cast<double>(r() >> (r() % 64)); }},
        // Decimals of 1 to 16 digits from 10^-12 to 10^17, read as written
        // or one step off: the digits taken as they were guessed, or not.
        Sample{"ShortDecimalOrNeighbour", 200000, [](std::mt19937_64& r) {
                 const int digits = static_cast<int>(r() % 16) + 1;
                 const auto significand =
                     static_cast<long long>(1 + r() % (kPowersOfTenForTests[digits] - 1));
                 const int exponent = static_cast<int>(r() % 30) - 12 - digits;
                 const double value =
                     parse(std::to_string(significand) + "e" + std::to_string(exponent));
                 const int step = static_cast<int>(r() % 4);
                 return step == 1 ? std::nextafter(value, 0.0)
                                  : step == 2 ? std::nextafter(value, kLargest) : value;
               }}),
    [](const testing::TestParamInfo<Sample>& info) { return std::string(info.param.name); });

TEST(ValueFormat, ListsInRoomsOfEverySizeReadAsTheirValuesOneByOne) {
  // Short and long texts (subnormals take over 300 characters, the
  // negative smallest all kMaxValueChars) through rooms from too small for
  // one slot to larger than the list, each ended by a guard zone.
  std::mt19937_64 random(77);
  std::vector<double> values;
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    const std::uint64_t bits = random();
    double value = std::bit_cast<double>(i % 7 == 0 ? bits & 0x800fffffffffffffu : bits);
    if (i % 5 == 0) value = -kSmallestSubnormal;
    if (!std::isfinite(value)) continue;
    values.push_back(value);
    expected += (expected.empty() ? "" : " ") + formatted(value);
  }
  ASSERT_EQ(formatted(-kSmallestSubnormal).size(), kMaxValueChars);
  std::vector<std::size_t> rooms = {0, kMaxValueSlot - 1, std::size_t{1} << 20};
  for (std::size_t room = kMaxValueSlot; room < 3 * kMaxValueSlot; ++room) rooms.push_back(room);
  for (std::size_t room : rooms) {
    std::string text;
    std::vector<char> buffer(room + 16);
    for (std::size_t done = 0; done < values.size();) {
      std::fill(buffer.begin(), buffer.end(), kUnused);
      std::size_t used = 99;
      const std::size_t count =
          format_values(std::span<const double>(values).subspan(done), done != 0,
                        std::span<char>(buffer.data(), room), used);
      for (std::size_t i = room; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kUnused) << room;
      if (room < kMaxValueSlot) {
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(used, 0u);
        break;
      }
      ASSERT_GT(count, 0u) << room;
      text.append(buffer.data(), used);
      done += count;
    }
    if (room >= kMaxValueSlot) {
      EXPECT_EQ(text, expected) << room;
    }
  }
}

// Values read from number texts: written as format_value writes them, and
// the digits read taken as the shortest where the table says, in the
// list's text as read by the line parser too.
struct ReadCase {
  const char* text;
  bool taken;
  const char* written;
};

TEST(ValueFormat, ValuesReadFromTextsAreWrittenAsTheirValues) {
  const ReadCase cases[] = {
      {"0.2905067503452301", true, "0.2905067503452301"},  // a float32's shortest digits
      {"-0.30000000000000004", true, "-0.30000000000000004"},
      {"1.0000000000000002", true, "1.0000000000000002"},
      {"3.0000000000000004e-1", true, "0.30000000000000004"},
      {"0.1", true, "0.1"},
      {"1.50", true, "1.5"},
      {"100", true, "100"},
      {"1e5", true, "100000"},
      {"-2.5E-3", true, "-0.0025"},
      {"-0.00001", true, "-0.00001"},
      // Converted a unit beside the double nearest to the text.
      {"0.19074603915214539", false, "0.1907460391521454"},
      // More digits than the shortest.
      {"0.10000000000000001", false, "0.1"},
      {"0.3000000000000000444", false, "0.30000000000000004"},
      {"0.50000000000000000", false, "0.5"},
      {"0.1000000000000000055511151231257827", false, "0.1"},
      // An integer beyond 2^53.
      {"9007199254740993", false, "9007199254740992"},
      {"-0", false, "-0"},
  };
  LineParser parser;
  std::vector<double> values;
  ValueListText list_text;
  std::string list = "[";
  std::string expected;
  for (const ReadCase& c : cases) {
    const reference::ReadTextCheck check = reference::check_read_text(c.text);
    if (std::string_view(c.text) != "-0") {
      EXPECT_EQ(check.problem, "") << c.text;
      EXPECT_EQ(check.taken, c.taken) << c.text;
    }
    list += (list.size() > 1 ? ", " : "") + std::string(c.text);
    expected += (expected.empty() ? "" : " ") + std::string(c.written);
  }
  list += "]";
  std::size_t end = 0;
  ASSERT_TRUE(parser.read_values(list, 0, values, list_text, end));
  EXPECT_EQ(end, list.size());
  EXPECT_EQ(list_text.text(), expected);
  ASSERT_EQ(values.size(), std::size(cases));
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(formatted(values[i]), cases[i].written) << i;
}

TEST(ValueFormat, ListTextsBeyondTheirBoundAreGivenUpAndTheBufferKept) {
  // Subnormals written out take 327 bytes each from 8 of text.
  LineParser parser;
  std::vector<double> values;
  ValueListText list_text;
  for (const std::size_t count : {std::size_t{100}, std::size_t{2000}, std::size_t{100}}) {
    std::string list = "[";
    for (std::size_t i = 0; i < count; ++i) list += (i == 0 ? "" : ",") + std::string("4.9e-324");
    list += "]";
    std::size_t end = 0;
    ASSERT_TRUE(parser.read_values(list, 0, values, list_text, end));
    EXPECT_EQ(values.size(), count);
    const bool within = count * (formatted(values[0]).size() + 1) <= ValueListText::kMostBytes;
    EXPECT_EQ(list_text.complete(), within) << count;
    if (within) {
      EXPECT_EQ(list_text.text().size(), count * (formatted(values[0]).size() + 1) - 1);
    }
    EXPECT_LE(list_text.capacity(), ValueListText::kMostBytes);
  }
}

TEST(ValueFormat, ValuesReadFromTextsOfMillionsOfDoubles) {
  // Each double in the texts programs write for it, from the families the
  // sweep draws (which runs the same check on 100 M of each).
  std::mt19937_64 random(91);
  std::uint64_t texts = 0;
  std::uint64_t taken = 0;
  for (int i = 0; i < 60000; ++i) {
    const double values[] = {
        reference::widened_float(random()),
        reference::exact_path_decimal(random(), random()),
        std::ldexp(static_cast<double>(random() >> 11), -60 - static_cast<int>(random() % 40)),
        std::bit_cast<double>(random()),
    };
    for (double value : values) {
      if (!std::isfinite(value) || value == 0) continue;
      for (const std::string& text : reference::number_texts(value)) {
        const reference::ReadTextCheck check = reference::check_read_text(text);
        if (check.problem == "not a finite nonzero number") continue;  // "%.6f" of a small value
        ++texts;
        taken += check.taken ? 1 : 0;
        ASSERT_EQ(check.problem, "") << text;
      }
    }
  }
  // The shortest forms and short decimals of moderate magnitude are taken:
  // 24 % of these texts, most of the random bit patterns' lying beyond the
  // exponents the check decides.
  EXPECT_GT(taken, texts / 5);
}

TEST(ValueFormat, PowersOfTenAndNeighbours) {
  // Short digit strings at every decimal exponent, where the layout of the
  // zeros around the digits most easily goes wrong.
  for (int power = -323; power <= 308; ++power) {
    const double base = parse("1e" + std::to_string(power));
    for (double value : {base, std::nextafter(base, 0.0), std::nextafter(base, kLargest),
                         base * 3, base * 7.5}) {
      if (!std::isfinite(value) || value == 0.0) continue;
      check_value(value);
      check_value(-value);
      if (HasFailure()) return;
    }
  }
}

// The digits and k of the library's shortest scientific form of `value`.
Positional library_shortest(double value) {
  char text[64];
  const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
  const std::string_view form(text, static_cast<std::size_t>(end - text));
  const std::size_t e = form.find('e');
  Positional out;
  for (char c : form.substr(0, e)) {
    if (c != '.') out.digits += c;
  }
  out.k = std::atoi(std::string(form.substr(e + 1)).c_str()) + 1;
  return out;
}

// The formatter computes the shortest digits itself, inline for the common
// magnitudes (binary exponents -172 to 0 of the 53-bit significand) and in a
// general path elsewhere. The text of millions of values of every kind must
// carry the library's digits exactly: the interval ends (included for even
// significands), the narrower interval below a power of two, the nearest of
// several candidates, and exact ties between two.
void expect_library_digits(double value) {
  if (value == 0.0) return;  // no significant digits to compare
  Positional ours;
  ASSERT_TRUE(parse_positional(formatted(value), ours)) << std::hexfloat << value;
  const Positional expected = library_shortest(value);
  ASSERT_EQ(ours.digits, expected.digits) << std::hexfloat << value;
  ASSERT_EQ(ours.k, expected.k) << std::hexfloat << value;
}

TEST(ValueFormat, SameDigitsAsTheLibraryOnMillionsOfValues) {
  std::mt19937_64 r(77);
  const auto next_up = [](double v, int steps) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) + static_cast<std::uint64_t>(steps));
  };
  for (int i = 0; i < 1000000; ++i) {
    // Every binary exponent, and above all those of activations, with
    // significands at both ends of the binade every so often.
    std::uint64_t significand = (r() & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    if (i % 8 == 0) significand = (std::uint64_t{1} << 52) + r() % 3;
    if (i % 8 == 1) significand = (std::uint64_t{1} << 53) - 1 - r() % 3;
    expect_library_digits(std::ldexp(static_cast<double>(significand), -88 + static_cast<int>(r() % 88)));
    const double any = std::bit_cast<double>(r() >> 1);
    if (std::isfinite(any)) expect_library_digits(any);
    // Float activations widened, as the files hold them.
    const double widened = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(r() >> 33)));
    if (std::isfinite(widened)) expect_library_digits(widened);
    if (HasFatalFailure()) return;
  }
  // Short decimals and their neighbours: the shortest digits are few, and the
  // candidates of that length many. And the exact midpoints between two
  // doubles near them, read back: ties between candidates.
  char text[64];
  for (int i = 0; i < 400000; ++i) {
    const int digits = 1 + static_cast<int>(r() % 17);
    const std::uint64_t n = 1 + r() % (kPowersOfTenForTests[digits] - 1);
    const int exponent = -14 + static_cast<int>(r() % 32) - digits;
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(n), exponent);
    const double value = std::strtod(text, nullptr);
    for (int step = -2; step <= 2; ++step) expect_library_digits(next_up(value, step));
    std::snprintf(text, sizeof text, "%llu5e%d", static_cast<unsigned long long>(n), exponent - 1);
    expect_library_digits(std::strtod(text, nullptr));
    if (HasFatalFailure()) return;
  }
  // Powers of two and of ten with their neighbours, at every exponent; the
  // subnormals; the largest values.
  for (int power = -1074; power <= 1023; ++power) {
    const double base = std::ldexp(1.0, power);
    for (int step = -2; step <= 2; ++step) {
      if (step < 0 && power == -1074) continue;
      const double value = next_up(base, step);
      if (std::isfinite(value)) expect_library_digits(value);
    }
  }
  for (int power = -323; power <= 308; ++power) {
    const double base = parse("1e" + std::to_string(power));
    for (int step = -2; step <= 2; ++step) expect_library_digits(next_up(base, step));
  }
  for (std::uint64_t bits = 1; bits <= 20000; ++bits) {
    expect_library_digits(std::bit_cast<double>(bits));
    expect_library_digits(std::bit_cast<double>(std::uint64_t{0x7FEFFFFFFFFFFFFF} - bits + 1));
    expect_library_digits(std::bit_cast<double>((r() & ((std::uint64_t{1} << 52) - 1)) | 1));
  }
}

TEST(DigitText, EveryFormWritesEachNumberWithItsLeadingZeros) {
  // Both forms of the sixteen digits, on the numbers where a split into
  // halves, pairs or digits changes (around every 10^k and its multiples)
  // and on random ones, each number in either place.
  std::vector<std::uint32_t> numbers = {0, 99999999};
  for (std::uint32_t power = 1; power < 100000000; power *= 10) {
    for (std::uint32_t multiple = 1; multiple <= 9; ++multiple) {
      numbers.push_back(multiple * power - 1);
      numbers.push_back(multiple * power);
    }
  }
  std::mt19937_64 r(7);
  for (int i = 0; i < 200000; ++i) numbers.push_back(static_cast<std::uint32_t>(r() % 100000000));
  const auto text = [](const SixteenDigits& digits) {
    std::string out(16, ' ');
    std::memcpy(out.data(), &digits.first, 8);
    std::memcpy(out.data() + 8, &digits.second, 8);
    return out;
  };
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const std::uint32_t first = numbers[i];
    const std::uint32_t second = numbers[numbers.size() - 1 - i];
    char expected[17];
    std::snprintf(expected, sizeof expected, "%08u%08u", static_cast<unsigned>(first),
                  static_cast<unsigned>(second));
    ASSERT_EQ(text(sixteen_digits_in_lanes(first, second)), expected) << first << " " << second;
#if ONDRAVANE_X86_SCANS
    ASSERT_EQ(text(sixteen_digits_sse2(first, second)), expected) << first << " " << second;
#endif
  }
}

}  // namespace
}  // namespace ondravane
