#include "converter/number_parser.h"

#include <cmath>
#include <limits>

#include "converter/power_table.h"

namespace ondravane {

namespace {

// While the significand is below this, any digit can be appended without
// leaving 64 bits; at exactly this value only the digits 0 to 5 still fit.
constexpr std::uint64_t kSignificandLimit = std::numeric_limits<std::uint64_t>::max() / 10;

// Exponent digits are read into 31 bits; past this the value is saturated.
constexpr std::int64_t kExponentLimit = std::numeric_limits<std::int32_t>::max() / 10;

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline unsigned digit_value(char c) { return static_cast<unsigned char>(c - '0'); }

inline bool digit_fits(std::uint64_t significand, unsigned digit) {
  return significand < kSignificandLimit || (significand == kSignificandLimit && digit <= 5);
}

inline std::int64_t clamp_exponent(std::int64_t exponent) {
  constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
  return exponent < kLow ? kLow : (exponent > kHigh ? kHigh : exponent);
}

// Multiplies or divides the significand by powers of ten from the table,
// one rounded operation per step. Returns false when the magnitude is out of
// range (too large to be finite).
bool scale(std::uint64_t significand, std::int64_t exponent, double& out) {
  double f = static_cast<double>(significand);
  while (exponent > kMaxPowerOfTen || exponent < -kMaxPowerOfTen) {
    if (f == 0) {
      out = f;
      return true;
    }
    if (exponent > 0) return false;
    f = f / kPowersOfTen[kMaxPowerOfTen];
    exponent += kMaxPowerOfTen;
  }
  if (exponent >= 0) {
    f = f * kPowersOfTen[exponent];
    if (std::isinf(f)) return false;
  } else {
    f = f / kPowersOfTen[-exponent];
  }
  out = f;
  return true;
}

// Skips a run of digits; the caller has checked that the first one is a digit.
inline const char* skip_digits(const char* p, const char* end) {
  while (p != end && is_digit(*p)) ++p;
  return p;
}

}  // namespace

const char* scan_number(const char* p, const char* end) {
  if (p != end && *p == '-') ++p;
  if (p == end || !is_digit(*p)) return nullptr;
  p = *p == '0' ? p + 1 : skip_digits(p, end);
  if (p != end && *p == '.') {
    ++p;
    if (p == end || !is_digit(*p)) return nullptr;
    p = skip_digits(p, end);
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end || !is_digit(*p)) return nullptr;
    p = skip_digits(p, end);
  }
  return p;
}

const char* parse_number(const char* p, const char* end, double& value) {
  bool negative = false;
  if (p != end && *p == '-') {
    negative = true;
    ++p;
  }
  if (p == end || !is_digit(*p)) return nullptr;

  // Digits go into the significand while they fit; from the first one that
  // does not, the significand is full and later digits only move the decimal
  // exponent (integer digits) or vanish (fraction digits).
  std::uint64_t significand = 0;
  std::int64_t exponent = 0;
  bool full = false;
  if (*p == '0') {
    ++p;
  } else {
    do {
      unsigned digit = digit_value(*p);
      if (!full && digit_fits(significand, digit)) {
        significand = significand * 10 + digit;
      } else {
        full = true;
        ++exponent;
      }
      ++p;
    } while (p != end && is_digit(*p));
  }
  if (p != end && *p == '.') {
    ++p;
    if (p == end || !is_digit(*p)) return nullptr;
    do {
      unsigned digit = digit_value(*p);
      if (!full && digit_fits(significand, digit)) {
        significand = significand * 10 + digit;
        --exponent;
      } else {
        full = true;
      }
      ++p;
    } while (p != end && is_digit(*p));
  }
  exponent = clamp_exponent(exponent);

  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool exponent_negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
      exponent_negative = *p == '-';
      ++p;
    }
    if (p == end || !is_digit(*p)) return nullptr;
    std::int64_t written = 0;
    do {
      unsigned digit = digit_value(*p);
      if (written > kExponentLimit || (written == kExponentLimit && digit > 7)) {
        // Beyond 31 bits: infinite unless the value is zero or shrinking.
        if (significand != 0 && !exponent_negative) return nullptr;
        p = skip_digits(p, end);
        value = negative ? -0.0 : 0.0;
        return p;
      }
      written = written * 10 + digit;
      ++p;
    } while (p != end && is_digit(*p));
    exponent = clamp_exponent(exponent_negative ? exponent - written : exponent + written);
  }

  double magnitude;
  if (!scale(significand, exponent, magnitude)) return nullptr;
  value = negative ? -magnitude : magnitude;
  return p;
}

const char* parse_index(const char* p, const char* end, std::uint32_t& value) {
  if (p == end || !is_digit(*p)) return nullptr;
  std::uint64_t result = digit_value(*p++);
  if (result != 0) {
    for (; p != end && is_digit(*p); ++p) {
      result = result * 10 + digit_value(*p);
      if (result > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    }
  }
  // A fraction or exponent makes it a number, but not a plain integer.
  if (p != end && (*p == '.' || *p == 'e' || *p == 'E')) return nullptr;
  value = static_cast<std::uint32_t>(result);
  return p;
}

bool is_json_number(std::string_view text) {
  const char* end = text.data() + text.size();
  const char* stop = scan_number(text.data(), end);
  return stop != nullptr && stop == end;
}

std::optional<double> parse_json_number(std::string_view text) {
  const char* end = text.data() + text.size();
  double value;
  const char* stop = parse_number(text.data(), end, value);
  if (stop == nullptr || stop != end) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> parse_json_index(std::string_view text) {
  const char* end = text.data() + text.size();
  std::uint32_t value;
  const char* stop = parse_index(text.data(), end, value);
  if (stop == nullptr || stop != end) return std::nullopt;
  return value;
}

}  // namespace ondravane
