#include "converter/value_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace ondravane {

namespace {

// Room for the shortest scientific form of any double: "1.2345678901234567e-308".
constexpr std::size_t kScientificChars = 32;

// Reads the decimal exponent that follows the 'e' of a scientific form.
int parse_exponent(const char* first, const char* last) {
  bool negative = *first == '-';
  if (*first == '-' || *first == '+') ++first;
  int exponent = 0;
  for (; first != last; ++first) exponent = exponent * 10 + (*first - '0');
  return negative ? -exponent : exponent;
}

}  // namespace

std::size_t format_value(double value, std::span<char, kMaxValueChars> out) {
  char* cursor = out.data();
  if (std::signbit(value)) *cursor++ = '-';
  double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    *cursor++ = '0';
    return static_cast<std::size_t>(cursor - out.data());
  }
  if (!std::isfinite(magnitude)) {
    std::memcpy(cursor, std::isnan(magnitude) ? "nan" : "inf", 3);
    return static_cast<std::size_t>(cursor - out.data()) + 3;
  }

  // The shortest scientific form carries exactly the digits wanted: fewest
  // significant digits that round-trip, nearest to the value among those.
  // The fixed form of the same call is not usable: for large magnitudes it
  // prints the exact binary value instead of padding the shortest digits.
  char scientific[kScientificChars];
  const auto [end, error] = std::to_chars(scientific, scientific + kScientificChars, magnitude,
                                          std::chars_format::scientific);
  (void)error;  // cannot fail: the buffer holds every double's shortest form
  const char* const e = static_cast<const char*>(std::memchr(scientific, 'e', end - scientific));

  // Gather d1 d2 ... dn, dropping the point after d1.
  char digits[kScientificChars];
  int count = 0;
  for (const char* p = scientific; p != e; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  // scientific is d1.d2...dn x 10^x, that is 0.d1d2...dn x 10^(x + 1).
  const int k = parse_exponent(e + 1, end) + 1;

  if (k <= 0) {
    *cursor++ = '0';
    *cursor++ = '.';
    std::memset(cursor, '0', static_cast<std::size_t>(-k));
    cursor += -k;
    std::memcpy(cursor, digits, static_cast<std::size_t>(count));
    cursor += count;
  } else if (k < count) {
    std::memcpy(cursor, digits, static_cast<std::size_t>(k));
    cursor += k;
    *cursor++ = '.';
    std::memcpy(cursor, digits + k, static_cast<std::size_t>(count - k));
    cursor += count - k;
  } else {
    std::memcpy(cursor, digits, static_cast<std::size_t>(count));
    cursor += count;
    std::memset(cursor, '0', static_cast<std::size_t>(k - count));
    cursor += k - count;
  }
  return static_cast<std::size_t>(cursor - out.data());
}

}  // namespace ondravane
