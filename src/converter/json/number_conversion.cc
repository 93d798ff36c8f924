// The uncommon shapes of number conversion (long digit runs, saturated
// exponents, magnitudes beyond the table) and the index fields' check.
#include "converter/json/number_conversion.h"

#include <limits>

namespace ondravane {

namespace {

// While the significand is below this, any digit can be appended without
// leaving 64 bits; at exactly this value only the digits 0 to 5 still fit.
constexpr std::uint64_t kSignificandLimit = std::numeric_limits<std::uint64_t>::max() / 10;

inline std::int64_t clamp_exponent(std::int64_t exponent) {
  constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
  return exponent < kLow ? kLow : (exponent > kHigh ? kHigh : exponent);
}

// S and E of the digits when more than 19 are significant: digits go into
// the significand while they fit; from the first one that does not, the
// significand is full and later digits only move the decimal exponent
// (integer digits) or vanish (fraction digits).
void significand_of_long_digits(const NumberScan& scan, std::uint64_t& significand,
                                std::int64_t& exponent) {
  significand = 0;
  exponent = 0;
  bool full = false;
  auto take = [&](char c, bool fraction) {
    const unsigned digit = static_cast<unsigned char>(c - '0');
    if (!full && (significand < kSignificandLimit ||
                  (significand == kSignificandLimit && digit <= 5))) {
      significand = significand * 10 + digit;
      if (fraction) --exponent;
    } else {
      full = true;
      if (!fraction) ++exponent;
    }
  };
  for (std::size_t i = 0; i < scan.integer_count; ++i) take(scan.integer_digits[i], false);
  for (std::size_t i = 0; i < scan.fraction_count; ++i) take(scan.fraction_digits()[i], true);
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
    f = f / kNearestPowersOfTen[kMaxPowerOfTen];
    exponent += kMaxPowerOfTen;
  }
  return scale_within_table(f, exponent, out);
}

}  // namespace

bool convert_number_slow(const NumberScan& scan, double& value) {
  std::uint64_t significand;
  std::int64_t exponent;
  if (scan.gathered_count <= kExactDigits) {
    significand = scan.gathered;
    exponent = -static_cast<std::int64_t>(scan.fraction_count);
  } else {
    significand_of_long_digits(scan, significand, exponent);
    exponent = clamp_exponent(exponent);
  }
  if (scan.exponent_saturated) {
    // Beyond 31 bits: infinite unless the value is zero or shrinking.
    if (significand != 0 && !scan.exponent_negative) return false;
    value = scan.negative ? -0.0 : 0.0;
    return true;
  }
  if (scan.has_exponent) {
    exponent = clamp_exponent(scan.exponent_negative ? exponent - scan.exponent
                                                     : exponent + scan.exponent);
  }
  double magnitude;
  if (!scale(significand, exponent, magnitude)) return false;
  value = scan.negative ? -magnitude : magnitude;
  return true;
}

bool convert_number_text(const char* p, const char* end, double& value) {
  return convert_number(scan_number_text(p, end), value);
}

bool number_text_in_range(const char* p, const char* end) {
  return number_in_range(scan_number_text(p, end));
}

IndexCheck check_index(const NumberScan& scan, std::uint32_t& value) {
  if (scan.negative) return IndexCheck::kNegative;
  if (!scan.is_plain_integer()) return IndexCheck::kNotAnInteger;
  // Ten digits at most, so `gathered` is exact.
  if (scan.integer_count > 10 || scan.gathered > std::numeric_limits<std::uint32_t>::max()) {
    return IndexCheck::kTooLarge;
  }
  value = static_cast<std::uint32_t>(scan.gathered);
  return IndexCheck::kOk;
}

IndexCheck check_signed_index(const NumberScan& scan, std::int64_t& value) {
  if (!scan.is_plain_integer()) return IndexCheck::kNotAnInteger;
  if (scan.integer_count > 10 || scan.gathered > std::numeric_limits<std::uint32_t>::max()) {
    return scan.negative ? IndexCheck::kTooSmall : IndexCheck::kTooLarge;
  }
  const auto magnitude = static_cast<std::int64_t>(scan.gathered);
  value = scan.negative ? -magnitude : magnitude;
  return IndexCheck::kOk;
}

}  // namespace ondravane
