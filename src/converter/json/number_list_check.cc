// Proving lists of numbers 64 bytes at a time with bit masks.
#include "converter/json/number_list_check.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ondravane {

#if defined(__SSE2__)

namespace {

// What the bytes of a block of 64 are, one bit per byte (bit i for byte i).
struct Classes {
  std::uint64_t digit = 0;
  std::uint64_t zero = 0;
  std::uint64_t minus = 0;
  std::uint64_t point = 0;
  std::uint64_t exponent = 0;  // 'e' or 'E'
  std::uint64_t comma = 0;
  std::uint64_t space = 0;
  std::uint64_t close = 0;  // ']'

  // The classes of the block's last byte, as bit 0.
  Classes last_byte() const {
    return {digit >> 63, zero >> 63, minus >> 63, point >> 63, exponent >> 63, comma >> 63,
            space >> 63, close >> 63};
  }
};

inline std::uint64_t bits_of(__m128i matches, int part) {
  return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(matches)))
         << (16 * part);
}

Classes classify(const char* block) {
  Classes c;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    const auto is = [&](char byte) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte)); };
    // Unsigned: a digit is at most 9 above '0'.
    const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    c.digit |= bits_of(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset), part);
    c.zero |= bits_of(is('0'), part);
    c.minus |= bits_of(is('-'), part);
    c.point |= bits_of(is('.'), part);
    // Only 'E' and 'e' become 'e' with the 0x20 bit set.
    c.exponent |=
        bits_of(_mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8('e')), part);
    c.comma |= bits_of(is(','), part);
    c.space |= bits_of(is(' '), part);
    c.close |= bits_of(is(']'), part);
  }
  return c;
}

// The set bits of `x`. std::popcount is a library call on processors
// without a count instruction, which the baseline instruction set lacks.
inline std::size_t count_bits(std::uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555ULL;
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<std::size_t>((x * 0x0101010101010101ULL) >> 56);
}

// Adds with a carry in and out, over the blocks of a line.
inline std::uint64_t add_carrying(std::uint64_t a, std::uint64_t b, bool& carry) {
  std::uint64_t sum;
  const bool first = __builtin_add_overflow(a, b, &sum);
  const bool second = __builtin_add_overflow(sum, static_cast<std::uint64_t>(carry), &sum);
  carry = first || second;
  return sum;
}

// The first byte that is not a digit or a minus sign after each run of them
// that `starts` marks, carrying runs from block to block: adding a bit at
// the start of a run of ones carries it through the run to the byte after.
inline std::uint64_t run_ends(std::uint64_t inside, std::uint64_t starts, bool& carry) {
  return add_carrying(inside, starts & inside, carry) & ~inside;
}

}  // namespace

bool check_number_list(const char* open, const char* end, const char*& after, std::size_t& count) {
  // The byte before each block, as bit 0 of a mask per class: at first the
  // '[', which is none of the classes.
  Classes last;
  std::uint64_t before_open = 1;
  std::uint64_t before_sign = 0;
  std::uint64_t before_leading_zero = 0;
  bool carry_after_point = false;
  bool carry_after_exponent = false;
  std::size_t numbers = 0;
  char padded[64];
  for (const char* p = open + 1;; p += 64) {
    if (p >= end) return false;
    const char* block = p;
    if (end - p < 64) {
      // The line's last bytes; the zeros after them are bytes no list holds.
      std::memset(padded, 0, sizeof padded);
      std::memcpy(padded, p, static_cast<std::size_t>(end - p));
      block = padded;
    }
    const Classes c = classify(block);
    const std::uint64_t close = c.close & (0 - c.close);  // the first ']'
    const std::uint64_t in = close == 0 ? ~std::uint64_t{0} : close - 1;
    const std::uint64_t known =
        c.digit | c.minus | c.point | c.exponent | c.comma | c.space | c.close;
    if ((~known & in) != 0) return false;
    // A run of 128 digits holds a whole block: numbers that long are left to
    // the walk, so every integer part proved here is below 10^128.
    if (c.digit == ~std::uint64_t{0}) return false;

    // The class of the byte before each byte.
    const auto before = [](std::uint64_t mask, std::uint64_t carried) { return (mask << 1) | carried; };
    const std::uint64_t after_digit = before(c.digit, last.digit);
    const std::uint64_t after_minus = before(c.minus, last.minus);
    const std::uint64_t after_point = before(c.point, last.point);
    const std::uint64_t after_exponent = before(c.exponent, last.exponent);
    const std::uint64_t after_separator =
        before(c.comma, last.comma) | before(c.space, last.space) | before_open;
    // Minus signs that start a number, and leading zeros of integer parts.
    const std::uint64_t sign = c.minus & after_separator;
    const std::uint64_t integer_start = c.digit & (after_separator | before(sign, before_sign));
    const std::uint64_t leading_zero = integer_start & c.zero;

    // What may come before each byte: a digit after a digit, a sign, a full
    // stop or a separator (never straight after an exponent mark: positive
    // exponents are left to the walk, which checks their range); a minus
    // sign at a number's start or after an exponent mark; a full stop, an
    // exponent mark or a comma after a digit; a space after '[', a comma or
    // a space; the ']' after a digit or the '['. After a leading zero, no
    // digit.
    std::uint64_t bad = c.digit & ~(after_digit | after_minus | after_point | after_separator);
    bad |= c.minus & ~(after_exponent | after_separator);
    bad |= (c.point | c.exponent | c.comma) & ~after_digit;
    bad |= c.space & ~after_separator;
    bad |= c.digit & before(leading_zero, before_leading_zero);
    bad |= close & ~(after_digit | before_open);
    // One full stop and one exponent mark a number, the full stop first:
    // the digits after a full stop run into no second one, and those after
    // an exponent mark's sign into no full stop or mark.
    const std::uint64_t inside = c.digit | c.minus;
    bad |= run_ends(inside, after_point, carry_after_point) & c.point;
    bad |= run_ends(inside, after_exponent, carry_after_exponent) & (c.point | c.exponent);
    if ((bad & (in | close)) != 0) return false;

    numbers += count_bits(inside & after_separator & in);
    if (close != 0) {
      after = p + std::countr_zero(close) + 1;
      count = numbers;
      return true;
    }
    last = c.last_byte();
    before_open = 0;
    before_sign = sign >> 63;
    before_leading_zero = leading_zero >> 63;
  }
}

#else

bool check_number_list(const char*, const char*, const char*&, std::size_t&) { return false; }

#endif

}  // namespace ondravane
