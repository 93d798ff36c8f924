// JSON numbers after the scan (number_scan.h): the deterministic
// significand/exponent conversion of vector values, the range check alone,
// and the plain integers of the index fields.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "converter/json/number_scan.h"
#include "converter/json/nearest_powers_of_ten.h"
#include "support/float_eval.h"

namespace ondravane {

// Up to this many significant digits always fit the significand: 10^19 - 1
// is below 2^64, so the gathered digits are S as they stand.
inline constexpr std::size_t kExactDigits = 19;

// Multiplies or divides `f` by the table's 10^|exponent| (|exponent| <= 308),
// one rounded operation. Returns false when the product is infinite.
inline bool scale_within_table(double f, std::int64_t exponent, double& out) {
  if (exponent >= 0) {
    f = f * kNearestPowersOfTen[exponent];
    if (std::isinf(f)) return false;
  } else {
    f = f / kNearestPowersOfTen[-exponent];
  }
  out = f;
  return true;
}

// The uncommon shapes of convert_number: more than 19 significant digits, a
// saturated exponent, or a magnitude beyond the table.
bool convert_number_slow(const NumberScan& scan, double& value);

// The common shapes of conversion: at most 19 significant digits and an
// exponent within the table, S being then the gathered digits.
enum class Conversion { kDone, kOutOfRange, kUncommon };
[[gnu::always_inline]] inline Conversion convert_common_number(const NumberScan& scan,
                                                               double& value) {
  if (scan.gathered_count > kExactDigits || scan.exponent_saturated) return Conversion::kUncommon;
  // E is within 19 + 2^31 of zero, so only the table's range needs checking
  // (the clamp to 32 bits cannot act there).
  std::int64_t exponent = -static_cast<std::int64_t>(scan.fraction_count);
  exponent += scan.exponent_negative ? -scan.exponent : scan.exponent;
  if (exponent < -kMaxPowerOfTen || exponent > kMaxPowerOfTen) return Conversion::kUncommon;
  // One rounded conversion and one rounded operation.
  double f;
  if (!scale_within_table(static_cast<double>(scan.gathered), exponent, f)) {
    return Conversion::kOutOfRange;
  }
  value = scan.negative ? -f : f;
  return Conversion::kDone;
}

// Converts a valid scan to a double. Returns false when the magnitude is out
// of range (too large to be finite). Negative zero keeps its sign.
inline bool convert_number(const NumberScan& scan, double& value) {
  const Conversion conversion = convert_common_number(scan, value);
  if (conversion == Conversion::kUncommon) return convert_number_slow(scan, value);
  return conversion == Conversion::kDone;
}

// The same for the valid number at `p`, scanned again: the uncommon path of
// a caller whose scan should stay in registers.
bool convert_number_text(const char* p, const char* end, double& value);

// At most 19 digits and no positive exponent: below 10^19, always finite.
// Needs no gathered digits.
inline bool number_cannot_overflow(const NumberScan& scan) {
  return scan.gathered_count <= kExactDigits && (!scan.has_exponent || scan.exponent_negative);
}

// Whether convert_number would succeed, without converting the common shapes.
inline bool number_in_range(const NumberScan& scan) {
  if (number_cannot_overflow(scan)) return true;
  double unused;
  return convert_number(scan, unused);
}

// The same for the valid number at `p`, scanned again with its digits: the
// rare path of a check that scanned without them.
bool number_text_in_range(const char* p, const char* end);

// How a valid scan fares as an index field: a plain unsigned integer (digits
// only: no sign, fraction or exponent) of at most 4294967295.
enum class IndexCheck { kOk, kNegative, kNotAnInteger, kTooLarge, kTooSmall };
IndexCheck check_index(const NumberScan& scan, std::uint32_t& value);
// The same with a minus sign allowed: from -4294967295 to 4294967295, as
// layers numbered from the last are written ("-0" is 0).
IndexCheck check_signed_index(const NumberScan& scan, std::int64_t& value);

}  // namespace ondravane
