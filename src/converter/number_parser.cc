#include "converter/number_parser.h"

#include <bit>
#include <cmath>
#include <cstring>
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
// Inlined: on the common path it is one conversion and one division.
[[gnu::always_inline]] inline bool scale(std::uint64_t significand, std::int64_t exponent,
                                         double& out) {
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

// Eight bytes at a time: the activation files this reads are mostly numbers
// of 17 to 19 digits, and a digit-at-a-time loop spends most of the
// conversion on them.
inline std::uint64_t load_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;  // little-endian: the first byte is the lowest
}

}  // namespace

std::size_t leading_digit_count(std::uint64_t word) {
  constexpr std::uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ULL;
  constexpr std::uint64_t kZeros = 0x3030303030303030ULL;
  // A byte is a digit when it is 0x30..0x39: its high nibble is 3 both as it
  // is and with 6 added. A carry out of a byte can only spoil the bytes after
  // it, and only when that byte itself is no digit, so the first non-digit
  // is always found correctly.
  const std::uint64_t other = ((word & kHighNibbles) ^ kZeros) |
                              (((word + 0x0606060606060606ULL) & kHighNibbles) ^ kZeros);
  return other == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(other)) / 8;
}

std::uint64_t leading_digits_value(std::uint64_t word, std::size_t count) {
  if (count == 0) return 0;
  // Digit values in place; the bytes after the digits are shifted out, and
  // the room they leave at the front reads as leading zeros.
  std::uint64_t digits = (word - 0x3030303030303030ULL) << (8 * (8 - count));
  digits = digits * 10 + (digits >> 8);  // pairs of digits in every other byte
  digits = (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
  return digits;
}

namespace {

constexpr std::uint64_t kPowersOfTenInteger[9] = {1,      10,      100,      1000,     10000,
                                                  100000, 1000000, 10000000, 100000000};

// Appends the run of digits at `p` to `significand`, eight at a time, and
// returns the end of the run, or nullptr when the text ends within eight
// bytes of a digit (the caller then takes the digit-at-a-time path).
inline const char* append_digit_run(const char* p, const char* end, std::uint64_t& significand,
                                    std::size_t& count) {
  for (;;) {
    if (end - p < 8) return nullptr;
    const std::uint64_t word = load_word(p);
    const std::size_t run = leading_digit_count(word);
    significand = significand * kPowersOfTenInteger[run] + leading_digits_value(word, run);
    count += run;
    p += run;
    if (run < 8) return p;
  }
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

const char* parse_number_digitwise(const char* p, const char* end, double& value) {
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

const char* parse_number(const char* p, const char* end, double& value) {
  // The common shape, "-0.1234567890123456789" with an optional exponent and
  // at most 19 digits, whose every digit fits in the significand: S is then
  // just the digits read as one integer and E minus the number of fraction
  // digits. Everything else, and text ending too close behind a digit for
  // whole-word reads, goes through the digit-at-a-time conversion, which
  // gives the same result for this shape too.
  const char* const start = p;
  if (p != end && *p == '-') ++p;
  if (p == end || !is_digit(*p)) return nullptr;
  std::uint64_t significand = 0;
  std::size_t digits = 0;
  if (*p == '0') {
    ++p;
  } else {
    p = append_digit_run(p, end, significand, digits);
    if (p == nullptr) return parse_number_digitwise(start, end, value);
  }
  std::size_t fraction_digits = 0;
  if (p != end && *p == '.') {
    ++p;
    if (p == end || !is_digit(*p)) return nullptr;
    p = append_digit_run(p, end, significand, fraction_digits);
    if (p == nullptr) return parse_number_digitwise(start, end, value);
  }
  // 19 digits always fit: 10^19 - 1 is below the 64-bit limit.
  if (digits + fraction_digits > 19) return parse_number_digitwise(start, end, value);
  std::int64_t exponent = -static_cast<std::int64_t>(fraction_digits);
  if (p != end && (*p == 'e' || *p == 'E')) {
    // Up to four exponent digits; longer ones may saturate, which the
    // digit-at-a-time path handles.
    const char* q = p + 1;
    bool exponent_negative = false;
    if (q != end && (*q == '+' || *q == '-')) {
      exponent_negative = *q == '-';
      ++q;
    }
    if (q == end || !is_digit(*q)) return nullptr;
    std::int64_t written = 0;
    const char* const first = q;
    do {
      written = written * 10 + digit_value(*q);
      ++q;
    } while (q != end && is_digit(*q) && q - first < 4);
    if (q != end && is_digit(*q)) return parse_number_digitwise(start, end, value);
    exponent = exponent_negative ? exponent - written : exponent + written;
    p = q;
  }
  double magnitude;
  if (!scale(significand, exponent, magnitude)) return nullptr;
  value = *start == '-' ? -magnitude : magnitude;
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
