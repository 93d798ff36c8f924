// The one reading of a JSON number's text: a single pass that checks the
// grammar and gathers what every later step needs (sign, digit spans, the
// significant digits as one integer, the written exponent). Inline, as it
// runs once for every number of every line.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/instruction_set.h"
#include "support/integer_powers_of_ten.h"

#if ONDRAVANE_X86_SCANS
#include <emmintrin.h>
#endif

namespace ondravane {

// What one pass over a number's text yields. The digit spans point into the
// text, which must outlive the scan.
struct NumberScan {
  // Past the number when `valid`; otherwise the first byte that breaks the
  // grammar (where a minus sign, digit, fraction digit or exponent digit was
  // required).
  const char* end = nullptr;
  bool valid = false;
  bool negative = false;
  const char* integer_digits = nullptr;  // "0" or a digit 1-9 and more digits
  std::size_t integer_count = 0;
  std::size_t fraction_count = 0;  // the digits after the full stop
  // The significant digits (the integer part unless it is the lone 0, then
  // the fraction) read as one integer. Exact while there are at most 19.
  std::uint64_t gathered = 0;
  std::size_t gathered_count = 0;
  bool has_exponent = false;
  bool exponent_negative = false;
  // The exponent's digits went past 31 bits; `exponent` is then meaningless.
  bool exponent_saturated = false;
  std::int32_t exponent = 0;  // the written exponent's magnitude

  bool is_plain_integer() const { return fraction_count == 0 && !has_exponent; }
  // The digits after the full stop; meaningful when fraction_count is not 0.
  const char* fraction_digits() const { return integer_digits + integer_count + 1; }
};

// Whole-word digit reading: how many of the eight bytes of `word` (the first
// byte in its lowest bits) are digits before the first other byte, and the
// value of the first `count` of them (count <= 8, all digits) as a decimal
// integer.
inline std::size_t leading_digit_count(std::uint64_t word) {
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

inline std::uint64_t leading_digits_value(std::uint64_t word, std::size_t count) {
  // Digit values in place; the bytes after the digits are shifted out, and
  // the room they leave at the front reads as leading zeros. Two half shifts,
  // so that no count takes a branch: 0 shifts everything out.
  const auto half = static_cast<unsigned>(4 * (8 - count));
  std::uint64_t digits = ((word - 0x3030303030303030ULL) << half) << half;
  digits = digits * 10 + (digits >> 8);  // pairs of digits in every other byte
  digits = (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
  return digits;
}

namespace number_scan_detail {

// Exponent digits are read into 31 bits; past this the value is saturated.
inline constexpr std::int32_t kExponentLimit = 2147483647 / 10;


inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline unsigned digit_value(char c) { return static_cast<unsigned char>(c - '0'); }

#if ONDRAVANE_X86_SCANS
// Whether the sixteen bytes at `p` are all digits, and if so their value in
// `value`: the fractions of widened float32 values (most of what activation
// files hold) have sixteen digits or seventeen, read here in one SSE2
// register, where words of eight took twice the instructions.
[[gnu::always_inline]] inline bool read_sixteen_digits_sse2(const char* p, std::uint64_t& value) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i digits =
      _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('0'));
  // A digit's byte is now at most 9, any other byte above it (unsigned).
  const __m128i above_nine = _mm_subs_epu8(digits, _mm_set1_epi8(9));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(above_nine, zero)) != 0xFFFF) return false;
  // Digits in 16-bit lanes, then pairs, fours and eights by multiply-adds
  // with the higher digit's weight in the lower lane (its first byte); each
  // sum fits its lane (below 100, 10^4 and 10^8), so the packs keep them.
  const __m128i ten_one = _mm_set_epi16(1, 10, 1, 10, 1, 10, 1, 10);
  const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), ten_one),
                                        _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), ten_one));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set_epi16(1, 100, 1, 100, 1, 100, 1, 100));
  const __m128i eights =
      _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set_epi16(1, 10000, 1, 10000, 1, 10000, 1, 10000));
  const auto high = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
  const auto low = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
  value = std::uint64_t{high} * 100000000 + low;
  return true;
}
#endif

// Reads the run of digits at `p` into `gathered` and returns its end. Eight
// bytes at a time while the text allows it: the activation files this reads
// are mostly numbers of 17 to 19 digits, and a digit-at-a-time loop spends
// most of the scan on them. Past 19 digits `gathered` wraps and is unused.
// Without kGather only the run's end is found, for a check that needs no
// value.
template <bool kGather>
inline const char* gather_digits(const char* p, const char* end, std::uint64_t& gathered) {
#if ONDRAVANE_X86_SCANS
  // Sixteen digits first, where the words below still have room after them.
  if constexpr (kGather) {
    std::uint64_t sixteen;
    if (end - p >= 40 && read_sixteen_digits_sse2(p, sixteen)) {
      gathered = gathered * kIntegerPowersOfTen[16] + sixteen;
      p += 16;
    }
  }
#endif
  if (end - p >= 24) {
    // Three words at once: the runs of activation files (at most 20 digits)
    // end here without a loop whose number of turns, which changes with the
    // length, the processor would mispredict.
    // Word by word into registers: copied as one array, the words went
    // through the stack (a 16-byte store read back in 8-byte pieces), which
    // delayed the end of every run.
    std::uint64_t words[3];
    std::memcpy(&words[0], p, 8);
    std::memcpy(&words[1], p + 8, 8);
    std::memcpy(&words[2], p + 16, 8);
    const std::size_t first = leading_digit_count(words[0]);
    // A run within the first word (the fractions of rounded values, the
    // integer parts of exponent forms) is the common short case of a file
    // whose runs are mostly short or mostly long, so the branch seldom
    // misses, and saves the words after it.
    if (first < 8) {
      if constexpr (kGather) {
        gathered = gathered * kIntegerPowersOfTen[first] + leading_digits_value(words[0], first);
      }
      return p + first;
    }
    const std::size_t second = first < 8 ? 0 : leading_digit_count(words[1]);
    const std::size_t third = second < 8 ? 0 : leading_digit_count(words[2]);
    const std::size_t run = first + second + third;
    if (run < 24) {
      if constexpr (kGather) {
        gathered = gathered * kIntegerPowersOfTen[first] + leading_digits_value(words[0], first);
        gathered = gathered * kIntegerPowersOfTen[second] + leading_digits_value(words[1], second);
        gathered = gathered * kIntegerPowersOfTen[third] + leading_digits_value(words[2], third);
      }
      return p + run;
    }
  }
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);  // little-endian: the first byte is the lowest
    const std::size_t run = leading_digit_count(word);
    if constexpr (kGather) {
      gathered = gathered * kIntegerPowersOfTen[run] + leading_digits_value(word, run);
    }
    p += run;
    if (run < 8) return p;
  }
  for (; p != end && is_digit(*p); ++p) {
    if constexpr (kGather) gathered = gathered * 10 + digit_value(*p);
  }
  return p;
}

}  // namespace number_scan_detail

// Reads the number starting at `p` (its minus sign or first digit) within
// [p, end). Stops at the first byte that cannot continue the number; whether
// that byte may follow a number is the caller's business. Without kGather,
// `gathered` stays 0: enough for the grammar and for telling whether the
// value can be out of range (gathered_count and the exponent).
template <bool kGather = true>
[[gnu::always_inline]] inline NumberScan scan_number_text(const char* p, const char* end) {
  using namespace number_scan_detail;
  // Everything is gathered in locals and the record made at each return:
  // built up in place, the record stays in memory and is zeroed for every
  // number, which cost the checking walk a quarter of its time.
  bool negative = false;
  const char* integer_digits = nullptr;
  std::size_t integer_count = 0;
  std::size_t fraction_count = 0;
  std::uint64_t gathered = 0;
  std::size_t gathered_count = 0;
  bool has_exponent = false;
  bool exponent_negative = false;
  bool exponent_saturated = false;
  std::int32_t exponent = 0;
  const auto result = [&](const char* stop, bool valid) {
    return NumberScan{stop,          valid,          negative,          integer_digits,
                      integer_count, fraction_count, gathered,          gathered_count,
                      has_exponent,  exponent_negative, exponent_saturated, exponent};
  };
  if (p != end && *p == '-') {
    negative = true;
    ++p;
  }
  if (p == end || !is_digit(*p)) return result(p, false);
  integer_digits = p;
  if (*p == '0') {
    ++p;  // a lone 0 adds nothing to the significand
  } else {
    p = gather_digits<kGather>(p, end, gathered);
    gathered_count = static_cast<std::size_t>(p - integer_digits);
  }
  integer_count = static_cast<std::size_t>(p - integer_digits);
  if (p != end && *p == '.') {
    ++p;
    if (p == end || !is_digit(*p)) return result(p, false);
    const char* const fraction_start = p;
    p = gather_digits<kGather>(p, end, gathered);
    fraction_count = static_cast<std::size_t>(p - fraction_start);
    gathered_count += fraction_count;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) {
      exponent_negative = *p == '-';
      ++p;
    }
    if (p == end || !is_digit(*p)) return result(p, false);
    has_exponent = true;
    do {
      const unsigned digit = digit_value(*p);
      if (exponent > kExponentLimit || (exponent == kExponentLimit && digit > 7)) {
        exponent_saturated = true;
        while (p != end && is_digit(*p)) ++p;
        break;
      }
      exponent = exponent * 10 + static_cast<std::int32_t>(digit);
      ++p;
    } while (p != end && is_digit(*p));
  }
  return result(p, true);
}

}  // namespace ondravane
