// Values read from number texts and written again, for tests, the sweep and
// the fuzzer: the texts a dump may hold for a double (its shortest digits in
// each notation, 15 to 17 digits, a few places), and the check that the text
// written for the value read from one is the library's (shortest_reference.h),
// and that the digits read are taken as the shortest exactly when they are.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "converter/json/number_conversion.h"
#include "converter/output/digits_as_read.h"
#include "converter/output/value_list_text.h"
#include "shortest_reference.h"

namespace reference {

// Texts of `value` (finite) as programs write them.
inline std::vector<std::string> number_texts(double value) {
  std::vector<std::string> texts;
  char text[400];
  for (const std::chars_format format :
       {std::chars_format::general, std::chars_format::scientific, std::chars_format::fixed}) {
    const auto written = std::to_chars(text, text + sizeof text, value, format);
    texts.emplace_back(text, written.ptr);
  }
  for (const char* pattern : {"%.17g", "%.16g", "%.15g", "%.16e", "%.6f", "%.20f"}) {
    std::snprintf(text, sizeof text, pattern, value);
    texts.emplace_back(text);
  }
  // Seventeen and sixteen digits one unit beside the nearest: texts that
  // may still read as the value without being the nearest of their length.
  for (const char* pattern : {"%.16e", "%.15e"}) {
    std::snprintf(text, sizeof text, pattern, value);
    char* const last = std::strchr(text, 'e') - 1;
    if (*last >= '1' && *last <= '8') {
      for (const int step : {-1, 1}) {
        *last = static_cast<char>(*last + step);
        texts.emplace_back(text);
        *last = static_cast<char>(*last - step);
      }
    }
  }
  return texts;
}

// What reading `text` and writing its value again gave: `problem` is empty
// when all is well; `taken` says whether the digits read were taken as the
// shortest.
struct ReadTextCheck {
  std::string problem;
  bool taken = false;
};

// `text` must be one JSON number whose value is finite and not zero.
inline ReadTextCheck check_read_text(std::string_view text) {
  ReadTextCheck check;
  const char* const end = text.data() + text.size();
  const ondravane::NumberScan scan = ondravane::scan_number_text(text.data(), end);
  double value;
  if (!scan.valid || scan.end != end || !ondravane::convert_number(scan, value) || value == 0 ||
      !std::isfinite(value)) {
    check.problem = "not a finite nonzero number";
    return check;
  }
  // As the list text reads it: the number's own bytes are the last readable
  // ones.
  char out[ondravane::kMaxValueChars];
  const std::string written(out, ondravane::format_read_value(value, scan, text.data(), end,
                                                               std::span<char, ondravane::kMaxValueChars>(out)));
  const std::string expected = positional_text(value);
  if (written != expected) check.problem = "written as " + written + ", the library's text is " + expected;

  // Taken exactly when the text's digits are the shortest of the value and
  // the text is one the check decides (see digits_as_read.h).
  ondravane::DecimalDigits digits;
  check.taken = ondravane::digits_as_read(scan, std::fabs(value), digits);
  const ShortestForm shortest = library_shortest(std::fabs(value));
  const std::int64_t written_exponent =
      (scan.exponent_negative ? -std::int64_t{scan.exponent} : std::int64_t{scan.exponent}) -
      static_cast<std::int64_t>(scan.fraction_count);
  const bool decided = scan.gathered_count <= 19 && written_exponent >= -22 && written_exponent <= 22;
  std::uint64_t s = scan.gathered;
  std::int64_t exponent = written_exponent;
  while (decided && s % 10 == 0) {
    s /= 10;
    ++exponent;
  }
  const bool shortest_as_read = s == shortest.significand && exponent == shortest.exponent;
  if (check.taken && (digits.significand != shortest.significand || digits.exponent != shortest.exponent)) {
    check.problem += " taken with digits " + std::to_string(digits.significand) + "e" + std::to_string(digits.exponent);
  }
  if (check.taken && !shortest_as_read) check.problem += " taken, but not the shortest digits";
  // Of sixteen digits or more, it leaves to the search powers of two (whose
  // interval is uneven), texts ending in zero, positive exponents, and
  // values whose unit in the last place is wider than the text's last digit.
  const double magnitude = std::fabs(value);
  int binary;
  const bool uneven = std::frexp(magnitude, &binary) == 0.5;
  const double ulp = std::nextafter(magnitude, INFINITY) - magnitude;
  double power = 1;  // 10^-written_exponent, exact up to 10^22
  for (std::int64_t k = written_exponent; k < 0; ++k) power *= 10;
  const bool wide_ulp = written_exponent <= 0 && ulp * power > 1.0;
  const bool left_alone = scan.gathered >= 1000000000000000 &&
                          (uneven || scan.gathered % 10 == 0 || written_exponent > 0 || wide_ulp);
  if (decided && shortest_as_read && !check.taken && !left_alone) check.problem += " the shortest digits, not taken";
  return check;
}

}  // namespace reference
