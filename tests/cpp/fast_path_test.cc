// What the faster reading paths could get wrong: whole-word digit reading
// must agree with the digit-at-a-time conversion on every number shape, and
// keeping only the first layer must not weaken the checks on the others.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "converter/line/line_parser.h"
#include "converter/json/number_conversion.h"
#include "number_text.h"
#include "converter/pipeline.h"
#include "converter/records.h"
#include "support/failure.h"
#include "failure_of.h"
#include "number_reference.h"
#include "record_helpers.h"

namespace ondravane {
namespace {

namespace fs = std::filesystem;

std::uint64_t word_of(const std::string& eight) {
  std::uint64_t word;
  std::memcpy(&word, eight.data(), sizeof word);
  return word;
}

// Every byte value after every run length: the first non-digit is where the
// run ends, whatever follows it, and the run's value is its decimal integer.
TEST(WholeWordDigits, CountAndValueOfEveryRunLength) {
  std::mt19937 engine(5);
  for (std::size_t length = 0; length <= 8; ++length) {
    for (int stop = 0; stop < 256; ++stop) {
      if (stop >= '0' && stop <= '9') continue;
      std::string bytes(8, '\0');
      std::uint64_t expected = 0;
      for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>('0' + engine() % 10);
        expected = expected * 10 + static_cast<std::uint64_t>(bytes[i] - '0');
      }
      for (std::size_t i = length; i < 8; ++i) {
        bytes[i] = i == length ? static_cast<char>(stop) : static_cast<char>(engine() % 256);
      }
      const std::uint64_t word = word_of(bytes);
      ASSERT_EQ(leading_digit_count(word), length) << "stop byte " << stop;
      ASSERT_EQ(leading_digits_value(word, length), expected) << "stop byte " << stop;
    }
  }
  EXPECT_EQ(leading_digits_value(word_of("99999999"), 8), 99999999u);
  EXPECT_EQ(leading_digits_value(word_of("00000000"), 8), 0u);
}

std::string random_digits(std::mt19937& engine, std::size_t count, bool nonzero_first) {
  std::string digits;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned low = (i == 0 && nonzero_first) ? 1 : 0;
    digits += static_cast<char>('0' + low + engine() % (10 - low));
  }
  return digits;
}

// Where a number that starts `text` ends, read with the reference grammar:
// the longest prefix that is a number. Nothing when there is none, or when
// the byte after it starts a part that the number still lacks ("1." "1e+"):
// the number has then committed to that part and is broken.
std::optional<std::size_t> reference_number_length(const std::string& text) {
  std::size_t longest = 0;
  for (std::size_t n = 1; n <= text.size(); ++n) {
    if (reference::is_json_number(text.substr(0, n))) longest = n;
  }
  if (longest == 0) return std::nullopt;
  const std::string number = text.substr(0, longest);
  const bool has_exponent = number.find_first_of("eE") != std::string::npos;
  const bool has_fraction = number.find('.') != std::string::npos;
  if (longest < text.size()) {
    const char next = text[longest];
    if (next == '.' && !has_fraction && !has_exponent) return std::nullopt;
    if ((next == 'e' || next == 'E') && !has_exponent) return std::nullopt;
  }
  return longest;
}

// Parses `text` as the line parser does (the scan stops where the number
// ends) and compares the stopping point and the exact bits with the plain
// reference reading of the same rules.
void expect_same_conversion(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  double fast = 0;
  const char* fast_stop = parse_number(begin, end, fast);
  const std::optional<std::size_t> length = reference_number_length(text);
  std::optional<double> expected;
  if (length) expected = reference::json_number_value(text.substr(0, *length));
  ASSERT_EQ(fast_stop == nullptr, !expected) << text;
  if (!expected) return;
  ASSERT_EQ(static_cast<std::size_t>(fast_stop - begin), *length) << text;
  ASSERT_EQ(std::bit_cast<std::uint64_t>(fast), std::bit_cast<std::uint64_t>(*expected)) << text;
}

// Integer parts of 1 to 20 digits, fractions of 0 to 20, with and without a
// sign and an exponent, followed by what follows numbers in a line or by the
// end of the text at every distance (whole-word reads must not pass it).
TEST(WholeWordDigits, NumbersConvertAsDigitByDigit) {
  std::mt19937 engine(11);
  const std::vector<std::string> exponents = {"", "e-05", "E+3", "e7", "e-308", "e-12345",
                                              "e400", "e+0099999999999"};
  const std::vector<std::string> followers = {"", ", 0.5", "]}]", " ", "x", "e", ".", "-"};
  for (std::size_t integer = 1; integer <= 20; ++integer) {
    for (std::size_t fraction = 0; fraction <= 20; ++fraction) {
      for (const std::string& exponent : exponents) {
        for (const std::string& follower : followers) {
          for (const char* sign : {"", "-"}) {
            const bool zero_integer = integer == 1 && engine() % 2 == 0;
            std::string number = sign;
            number += zero_integer ? "0" : random_digits(engine, integer, true);
            if (fraction > 0) number += "." + random_digits(engine, fraction, false);
            number += exponent;
            expect_same_conversion(number + follower);
          }
        }
      }
    }
  }
}

TEST(WholeWordDigits, EdgeShapesConvertAsDigitByDigit) {
  for (const char* text :
       {"0", "-0", "0.0", "-0.000000000000000000001", "01", "-01.5", "1.", "1.e5", "1e", "1e+",
        "-", "--1", "+1", ".5", "0.12088995980580641", "9007199254740993",
        "18446744073709551615", "18446744073709551616", "1844674407370955161.6",
        "99999999999999999999", "1234567890123456789.0", "0.1234567890123456789e-2",
        "-0.35836076736450195, ", "2.2250738585072014e-308", "1.7976931348623157e308",
        "1e308", "2e308", "0e999999999999", "1e-400", "-1e-400", "12345678", "123456789",
        "0.00000000", "-0.0000000e0", "7e+", "3.14159265358979323846264338327950288"}) {
    expect_same_conversion(text);
  }
}

// A long line of realistic values (long enough for whole-word reads) with
// one bad number in a layer after the first.
std::string line_with_later_layer_value(const std::string& bad, std::size_t feature,
                                        std::size_t layer) {
  const std::string good = "-0.35836076736450195, 0.7846517562866211, 1.0234567e-05";
  std::string line = R"({"linex_index": 3, "features": [)";
  for (std::size_t f = 0; f < 3; ++f) {
    if (f) line += ", ";
    line += R"({"token": "Ġw##x", "layers": [)";
    for (std::size_t l = 0; l < 4; ++l) {
      if (l) line += ", ";
      line += R"({"index": )" + std::to_string(l) + R"(, "values": [)" + good;
      if (f == feature && l == layer) line += ", " + bad + ", 0.25";
      line += "]}";
    }
    line += "]}";
  }
  return line + "]}";
}

TEST(FirstLayerOnly, BadNumberInALaterLayerRejectsTheLine) {
  LineParser parser;
  ASSERT_TRUE(parse_unchecked(parser, line_with_later_layer_value("0.5", 1, 2), LayerRetention::kFirstOnly));
  for (const char* bad : {"1.", "01", "-", "--1", "+1", ".5", "1e", "1e+", "1.e3", "NaN",
                          "-Infinity", "0x10", "\"1\"", "null", "2e308", "1e400",
                          "-1.7976931348623159e308", "1e99999999999", "123456789012345678901e300"}) {
    for (std::size_t layer : {1, 3}) {
      for (std::size_t feature : {0, 2}) {
        const std::string line = line_with_later_layer_value(bad, feature, layer);
        EXPECT_FALSE(parse_unchecked(parser, line, LayerRetention::kFirstOnly)) << bad << " in layer " << layer;
        EXPECT_FALSE(parse_unchecked(parser, line, LayerRetention::kAll)) << bad << " in layer " << layer;
      }
    }
  }
}

// The last number of a line sits within a word of the line's end.
TEST(FirstLayerOnly, NumbersAtTheEndOfTheTextAreChecked) {
  LineParser parser;
  const std::string prefix = R"([0,[["a",[[0,[1]],[1,[0.5,)";
  std::optional<Activation> good = parse_unchecked(parser, prefix + "-0.25]]]]]]", LayerRetention::kFirstOnly);
  ASSERT_TRUE(good);
  EXPECT_EQ(good->features[0].layers.size(), 1u);
  for (const char* bad : {"1.", "1e", "2e308", "-", "01"}) {
    EXPECT_FALSE(parse_unchecked(parser, prefix + bad + "]]]]]]", LayerRetention::kFirstOnly)) << bad;
  }
}

using test_support::failure_of;

// A first feature without layers passes the reader (an empty list is
// valid) and fails the writer, which looks its first layer up: the message
// names the empty list and the output file stays empty.
TEST(FirstLayerOnly, FirstFeatureWithoutLayersFailsTheConversion) {
  const fs::path dir = fs::temp_directory_path() / ("fast_path_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path input = dir / "in.jsonl";
  const fs::path output = dir / "out.txt";
  std::ofstream(input) << R"({"linex_index": 0, "features": [{"token": "a", "layers": []}, )"
                       << R"({"token": "b", "layers": [{"index": 0, "values": [0.5]}]}]})" << "\n";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();  // the failure report
  const std::string failure = failure_of([&] { convert(input.string(), output.string(), {}); });
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(failure, "index out of bounds: the len is 0 but the index is 0");
  ASSERT_TRUE(fs::exists(output));
  EXPECT_EQ(fs::file_size(output), 0u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ondravane
