// The positional text of a value: sign, zero, then the shortest digits
// laid out around the decimal point, never with an exponent.
#include "converter/output/value_text.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "converter/json/nearest_powers_of_ten.h"
#include "converter/output/decimal_scales.h"
#include "converter/output/digit_text.h"
#include "converter/output/shortest_digits.h"
#include "support/integer_powers_of_ten.h"

namespace ondravane {

namespace {

// Room for the digits of any double's shortest form (at most 17) and for the
// fixed-size reads below past their end.
constexpr std::size_t kScratchChars = 64;

// Bytes are copied and zeros written this many at once where the output has
// room for them: the digits never number more than seventeen, and the zeros
// of the common magnitudes fit too. Bytes past the text's length are scratch.
constexpr std::size_t kChunk = 32;

// Copies `count` (at most kChunk) bytes; `room` bytes may be read at `from`
// and written at `to`.
inline void copy_short(char* to, const char* from, std::size_t count, std::size_t room) {
  if (room >= kChunk) {
    std::memcpy(to, from, kChunk);
  } else {
    std::memcpy(to, from, count);
  }
}

// Writes `count` zero digits; `room` is the space left at `to`.
inline void fill_zeros(char* to, std::size_t count, std::size_t room) {
  if (count <= kChunk && room >= kChunk) {
    std::memset(to, '0', kChunk);
  } else {
    std::memset(to, '0', count);
  }
}

// The number of decimal digits of `n` (not zero).
int digit_count(std::uint64_t n) {
  const int bits = 64 - std::countl_zero(n);
  const int guess = (bits * 1233) >> 12;  // floor(log10(2^bits)), maybe one too few
  return guess + (n >= kIntegerPowersOfTen[static_cast<std::size_t>(guess)] ? 1 : 0);
}

// Writes the decimal digits of `n` (not zero, below 10^17) to the 17 bytes
// before `end`, leading zeros included; returns where the digits start.
char* write_digits(std::uint64_t n, char* end) {
  const std::uint64_t upper = n / 100000000;
  const SixteenDigits text = sixteen_digits(static_cast<std::uint32_t>(upper % 100000000),
                                            static_cast<std::uint32_t>(n - upper * 100000000));
  end[-17] = static_cast<char>('0' + upper / 100000000);
  std::memcpy(end - 16, &text.first, 8);
  std::memcpy(end - 8, &text.second, 8);
  return end - digit_count(n);
}

// The text of a significand of `count` digits as the first seventeen
// characters of three words, the first character in the lowest byte, and
// zeros after the digits up to the seventeenth.
constexpr int kDigitsInWords = 17;
struct DigitWords {
  std::uint64_t word[3];
};

[[gnu::always_inline]] inline DigitWords digits_in_words(std::uint64_t n, int count) {
  // Scaled to exactly seventeen digits, the text needs no shifting.
  const std::uint64_t p = n * kIntegerPowersOfTen[static_cast<std::size_t>(kDigitsInWords - count)];
  // One division of 64 bits: the first nine digits fit 32.
  const auto first_nine = static_cast<std::uint32_t>(p / 100000000);
  const auto last_eight = static_cast<std::uint32_t>(p - std::uint64_t{first_nine} * 100000000);
  const std::uint32_t top = first_nine / 100000000;
  const SixteenDigits text = sixteen_digits(first_nine - top * 100000000, last_eight);
  return {{('0' + std::uint64_t{top}) | (text.first << 8), (text.first >> 56) | (text.second << 8),
           text.second >> 56}};
}

// Word by word from registers: copied whole, the words would be put on the
// stack first and read back in wider pieces than they were written, which
// waits for the stores.
[[gnu::always_inline]] inline void store_words(char* at, const DigitWords& words) {
  std::memcpy(at, &words.word[0], 8);
  std::memcpy(at + 8, &words.word[1], 8);
  std::memcpy(at + 16, &words.word[2], 8);
}

// The digits with a point after the first `k` (1 to 16) of them: each byte
// is the digit at its place before the point, the point, or the digit one
// place earlier after it, chosen by masks rather than by branches.
[[gnu::always_inline]] inline DigitWords with_point(const DigitWords& digits, int k) {
  const std::uint64_t shifted[3] = {digits.word[0] << 8, (digits.word[1] << 8) | (digits.word[0] >> 56),
                                    (digits.word[2] << 8) | (digits.word[1] >> 56)};
  DigitWords out;
  for (int i = 0; i < 3; ++i) {
    const int before = std::clamp(k - 8 * i, 0, 8);  // bytes of this word before the point
    const std::uint64_t kept = before == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * before)) - 1;
    const bool here = k - 8 * i >= 0 && k - 8 * i < 8;
    const std::uint64_t point = here ? std::uint64_t{0xFF} << (8 * (k - 8 * i)) : 0;
    out.word[i] = (digits.word[i] & kept) | (shifted[i] & ~(kept | point)) |
                  (point & 0x2E2E2E2E2E2E2E2EULL);
  }
  return out;
}

// A value that is the double nearest to a decimal of at most fifteen
// significant digits has that decimal's digits as its shortest form: 10^15
// is below 2^52, so distinct decimals of fifteen digits or fewer never share
// a nearest double (the normal ones, which all of these are), and no other
// decimal as short reads back as the value. Dumps rounded to a few places
// hold such values only. The decimal is guessed by scaling the value to
// fourteen or fifteen digits before the point and rounding; one correctly
// rounded operation with an exact power of ten (the exact path of number
// reading) tells whether it reads back as the value. The guess is always
// right for fourteen digits or fewer, and for fifteen unless the scaled
// value falls below 10^14.
struct ShortDecimal {
  std::uint64_t digits;  // 14 or 15 of them, trailing zeros included
  int written;           // how many
  int scale;             // the value is digits × 10^-scale
};

// Magnitudes from 10^-9 to 2 · 10^14: the scale is an exact power of ten, and
// the value is scaled up (a multiplication, not a choice between two ways).
constexpr int kShortLowestLog = -9;
constexpr int kShortHighestLog = 13;

[[gnu::always_inline]] inline bool short_decimal(double magnitude, ShortDecimal& out) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  // A float32 widened (the low 29 bits of the significand clear), as most
  // activations are, is a short decimal only when it has few bits (0.5, 3):
  // the general path takes those, and the rest skip the guess.
  if ((bits & ((std::uint64_t{1} << 29) - 1)) == 0) return false;
  const int binary = static_cast<int>(bits >> 52) - 1023;
  // 10^log <= 2^binary <= magnitude < 2^(binary+1) < 2 · 10^(log+1), so the
  // scaled value lies from 10^13 to below 2 · 10^14.
  const int log = decimal_scales::floor_log10_pow2(binary);
  if (static_cast<unsigned>(log - kShortLowestLog) > kShortHighestLog - kShortLowestLog) return false;
  const int scale = 13 - log;
  const double power = kNearestPowersOfTen[scale];
  const double scaled = magnitude * power;
  // Below 2^52, adding 2^52 leaves the nearest integer in the low bits.
  constexpr double kTwoTo52 = 4503599627370496.0;
  const double shifted = scaled + kTwoTo52;
  const double rounded = shifted - kTwoTo52;
  if (rounded / power != magnitude) return false;
  out.digits = std::bit_cast<std::uint64_t>(shifted) & ((std::uint64_t{1} << 52) - 1);
  out.written = out.digits >= kIntegerPowersOfTen[14] ? 15 : 14;
  out.scale = scale;
  return true;
}

// "0." and the zeros after it of values below 1.
constexpr char kPointAndZeros[] = "0.000000000000000000000000000000";
static_assert(sizeof kPointAndZeros > 32);

// The magnitudes laid out from registers: no text is written and read
// back, which would wait for the stores to reach memory.
inline bool in_word_layout(int k) { return k > -static_cast<int>(kChunk / 2) && k <= kDigitsInWords; }

// Writes the `count` significant digits of `words` (zeros after them) with
// the point placed for k, and returns the length.
[[gnu::always_inline]] inline std::size_t lay_out_words(char* cursor, const DigitWords& words, int count,
                                                        int k) {
  if (k <= 0) {
    std::memcpy(cursor, kPointAndZeros, kChunk);
    store_words(cursor + 2 - k, words);
    return static_cast<std::size_t>(2 - k + count);
  }
  if (k < count) {
    store_words(cursor, with_point(words, k));
    return static_cast<std::size_t>(count) + 1;
  }
  store_words(cursor, words);  // the words hold zeros after the digits
  return static_cast<std::size_t>(k);
}

// How many digits of the text in `words` come before its trailing zeros:
// the last byte that is not '0', found in the first two words (the digits
// of a short decimal number fifteen at most).
[[gnu::always_inline]] inline int significant_count(const DigitWords& words) {
  const std::uint64_t first = words.word[0] ^ 0x3030303030303030ULL;
  const std::uint64_t second = words.word[1] ^ 0x3030303030303030ULL;
  return second != 0 ? 16 - std::countl_zero(second) / 8 : 8 - std::countl_zero(first) / 8;
}

// The text of the positive value decimal.significand × 10^decimal.exponent
// at `cursor`, with room up to `limit`; returns its length.
[[gnu::always_inline]] inline std::size_t lay_out_digits(char* cursor, const char* limit,
                                                         DecimalDigits decimal) {
  char* const first = cursor;
  const int digit_count = ondravane::digit_count(decimal.significand);
  const int k = digit_count + decimal.exponent;
  if (in_word_layout(k)) {
    const DigitWords words = digits_in_words(decimal.significand, digit_count);
    return lay_out_words(cursor, words, digit_count, k);
  }
  char scratch[kScratchChars] = {};
  char* const end = scratch + 24;
  const char* const digits = write_digits(decimal.significand, end);
  const auto count = static_cast<std::size_t>(digit_count);
  const auto room = [&] { return static_cast<std::size_t>(limit - cursor); };

  if (k <= 0) {
    const auto zeros = static_cast<std::size_t>(-k);
    *cursor++ = '0';
    *cursor++ = '.';
    fill_zeros(cursor, zeros, room());
    cursor += zeros;
    copy_short(cursor, digits, count, room());
    cursor += count;
  } else if (static_cast<std::size_t>(k) < count) {
    // The point falls among the digits.
    const auto before = static_cast<std::size_t>(k);
    copy_short(cursor, digits, count, room());
    cursor += before;
    *cursor++ = '.';
    copy_short(cursor, digits + before, count - before, room());
    cursor += count - before;
  } else {
    // All digits before the point, padded with zeros up to the units.
    const auto zeros = static_cast<std::size_t>(k) - count;
    copy_short(cursor, digits, count, room());
    cursor += count;
    fill_zeros(cursor, zeros, room());
    cursor += zeros;
  }
  return static_cast<std::size_t>(cursor - first);
}

// format_value's body, inlined into the loop of format_values too.
[[gnu::always_inline]] inline std::size_t format_one(double value, std::span<char, kMaxValueChars> out) {
  char* cursor = out.data();
  char* const limit = out.data() + kMaxValueChars;
  *cursor = '-';  // kept only for a negative value
  cursor += std::signbit(value) ? 1 : 0;
  double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    *cursor++ = '0';
    return static_cast<std::size_t>(cursor - out.data());
  }
  if (!std::isfinite(magnitude)) {
    std::memcpy(cursor, std::isnan(magnitude) ? "nan" : "inf", 3);
    return static_cast<std::size_t>(cursor - out.data()) + 3;
  }

  // The significant digits d1...dn and k such that the value is
  // 0.d1...dn × 10^k.
  ShortDecimal short_form;
  if (short_decimal(magnitude, short_form)) {
    const DigitWords words = digits_in_words(short_form.digits, short_form.written);
    const int k = short_form.written - short_form.scale;
    return static_cast<std::size_t>(cursor - out.data()) +
           lay_out_words(cursor, words, significant_count(words), k);
  }
  return static_cast<std::size_t>(cursor - out.data()) + lay_out_digits(cursor, limit, shortest_digits(magnitude));
}

}  // namespace

std::size_t format_value(double value, std::span<char, kMaxValueChars> out) { return format_one(value, out); }

std::size_t format_digits(bool negative, DecimalDigits digits, std::span<char, kMaxValueChars> out) {
  char* cursor = out.data();
  *cursor = '-';
  cursor += negative ? 1 : 0;
  return static_cast<std::size_t>(cursor - out.data()) + lay_out_digits(cursor, out.data() + kMaxValueChars, digits);
}

std::size_t format_values(std::span<const double> values, bool blank_first, std::span<char> out,
                          std::size_t& used) {
  used = 0;
  if (values.empty() || out.size() < kMaxValueSlot) return 0;
  char* cursor = out.data();
  // The last place where a blank and a value still fit.
  const char* const last_slot = out.data() + (out.size() - kMaxValueSlot);
  *cursor = ' ';
  cursor += blank_first ? 1 : 0;
  std::size_t done = 0;
  while (true) {
    cursor += format_one(values[done], std::span<char, kMaxValueChars>(cursor, kMaxValueChars));
    ++done;
    if (done == values.size() || cursor > last_slot) break;
    *cursor++ = ' ';
  }
  used = static_cast<std::size_t>(cursor - out.data());
  return done;
}

}  // namespace ondravane
