// The shortest digits as the C++ library's std::to_chars gives them (the
// shortest scientific form: the fewest significant digits that round-trip,
// the nearest of those, ties to even), read back from its text: the
// reference the converter's own digit generation is compared with. And the
// families of doubles the comparisons draw from.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace reference {

struct ShortestForm {
  std::uint64_t significand;  // no trailing zero
  int exponent;
};

// `magnitude` positive and finite.
inline ShortestForm library_shortest(double magnitude) {
  char text[64];
  char* const end = std::to_chars(text, text + sizeof text - 1, magnitude, std::chars_format::scientific).ptr;
  *end = '\0';
  const char* const e = std::strchr(text, 'e');
  ShortestForm form{0, std::atoi(e + 1)};
  for (const char* p = text; p < e; ++p) {
    if (*p == '.') continue;
    form.significand = form.significand * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p > text) --form.exponent;  // d.ddd × 10^x is dddd × 10^(x - 3)
  }
  return form;
}

// The text the output holds for `value` (finite, not zero), laid out
// plainly from the library's shortest digits: a minus sign for a negative
// value, then "0." and zeros, or the digits with the point among them, or
// the digits and zeros up to the units.
inline std::string positional_text(double value) {
  const ShortestForm form = library_shortest(value < 0 ? -value : value);
  const std::string digits = std::to_string(form.significand);
  const int k = static_cast<int>(digits.size()) + form.exponent;  // 0.digits × 10^k
  std::string text = value < 0 ? "-" : "";
  if (k <= 0) {
    text += "0." + std::string(static_cast<std::size_t>(-k), '0') + digits;
  } else if (static_cast<std::size_t>(k) < digits.size()) {
    text += digits.substr(0, static_cast<std::size_t>(k)) + "." + digits.substr(static_cast<std::size_t>(k));
  } else {
    text += digits + std::string(static_cast<std::size_t>(k) - digits.size(), '0');
  }
  return text;
}

// Doubles from random 64-bit words. Some bit patterns are not positive
// finite numbers; callers skip those.
inline double any_bit_pattern(std::uint64_t r) { return std::bit_cast<double>(r >> 1); }

// A float32 activation widened to double, as the files hold them.
inline double widened_float(std::uint64_t r) {
  return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(r >> 33)));
}

// A decimal of 1 to 15 significant digits read as the converter reads short
// numbers: S × 10^E or S / 10^-E, |E| <= 22, one correctly rounded operation
// on exact operands. The first word picks S, the second the digit count and E.
inline double exact_path_decimal(std::uint64_t r, std::uint64_t s) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const auto digits = static_cast<int>(s % 15) + 1;
  const auto limit = static_cast<std::uint64_t>(kPowers[digits]);
  const double significand = static_cast<double>(1 + r % (limit - 1));
  const int exponent = static_cast<int>((s >> 8) % 45) - 22;
  return exponent >= 0 ? significand * kPowers[exponent] : significand / kPowers[-exponent];
}

}  // namespace reference
