// A second, deliberately plain reading of the number rules, shared by the
// unit tests and the fuzzers as the reference the converter is checked
// against. It works on the text as a string, one character at a time, and
// takes its powers of ten from the C library's correctly rounded strtod
// rather than from the converter's table.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The JSON number grammar over the whole text.
inline bool is_json_number(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && t[i] == '-') ++i;
  if (i == t.size()) return false;
  if (t[i] == '0') {
    ++i;
  } else if (t[i] >= '1' && t[i] <= '9') {
    while (i < t.size() && is_digit(t[i])) ++i;
  } else {
    return false;
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    const std::size_t first = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    if (i == first) return false;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const std::size_t first = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    if (i == first) return false;
  }
  return i == t.size();
}

inline double power_of_ten(long long k) {
  static const std::vector<double> table = [] {
    std::vector<double> powers;
    for (int i = 0; i <= 308; ++i) {
      const std::string text = "1e" + std::to_string(i);
      powers.push_back(std::strtod(text.c_str(), nullptr));
    }
    return powers;
  }();
  return table[static_cast<std::size_t>(k)];
}

// The value of a text that satisfies is_json_number, or nothing when it is
// out of range: S and E one digit at a time, then one rounded operation per
// scaling step.
inline std::optional<double> json_number_value(std::string_view t) {
  std::size_t i = 0;
  const bool negative = t[0] == '-';
  if (negative) ++i;
  std::string integer_digits, fraction_digits, exponent_digits;
  while (i < t.size() && is_digit(t[i])) integer_digits += t[i++];
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && is_digit(t[i])) fraction_digits += t[i++];
  }
  bool has_exponent = false;
  bool exponent_negative = false;
  if (i < t.size()) {
    has_exponent = true;
    ++i;  // e or E
    if (t[i] == '+' || t[i] == '-') exponent_negative = t[i++] == '-';
    exponent_digits = std::string(t.substr(i));
  }
  const std::uint64_t max = UINT64_MAX;
  std::uint64_t s = 0;
  long long e = 0;
  bool full = false;
  const std::string digits = integer_digits + fraction_digits;
  for (std::size_t k = 0; k < digits.size(); ++k) {
    const bool in_fraction = k >= integer_digits.size();
    const unsigned d = static_cast<unsigned>(digits[k] - '0');
    if (!full && s <= (max - d) / 10) {
      s = s * 10 + d;
      if (in_fraction) --e;
    } else {
      full = true;
      if (!in_fraction) ++e;
    }
  }
  const double zero = negative ? -0.0 : 0.0;
  if (has_exponent) {
    const std::size_t first = exponent_digits.find_first_not_of('0');
    const std::string significant = first == std::string::npos ? "0" : exponent_digits.substr(first);
    if (significant.size() > 10 || std::stoll(significant) > 2147483647LL) {
      if (s != 0 && !exponent_negative) return std::nullopt;
      return zero;
    }
    const long long x = std::stoll(significant);
    e = exponent_negative ? e - x : e + x;
    if (e < -2147483648LL) e = -2147483648LL;
    if (e > 2147483647LL) e = 2147483647LL;
  }
  double f = static_cast<double>(s);
  while (e > 308 || e < -308) {
    if (f == 0) return negative ? -f : f;
    if (e > 0) return std::nullopt;
    f = f / power_of_ten(308);
    e += 308;
  }
  if (e >= 0) {
    f = f * power_of_ten(e);
    if (std::isinf(f)) return std::nullopt;
  } else {
    f = f / power_of_ten(-e);
  }
  return negative ? -f : f;
}

// A plain unsigned integer of at most 4294967295, or nothing.
inline std::optional<std::uint32_t> json_index(std::string_view t) {
  if (t.empty() || t.size() > 10) return std::nullopt;
  for (char c : t) {
    if (!is_digit(c)) return std::nullopt;
  }
  if (t.size() > 1 && t[0] == '0') return std::nullopt;
  const std::uint64_t value = std::strtoull(std::string(t).c_str(), nullptr, 10);
  if (value > 0xFFFFFFFFULL) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace reference
