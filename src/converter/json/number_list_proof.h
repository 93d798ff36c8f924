// The proof of a list of numbers from the classes of its bytes, 64 at a
// time, shared by the check's version for each instruction set: they differ
// only in how they classify a block's bytes into the masks below and count
// their bits, so every version proves exactly the same lists.
//
// Everything here is inlined into the version that uses it, and compiled
// there with that version's instructions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ondravane::number_list {

// What the bytes of a block of 64 are, one bit per byte (bit i for byte i).
struct ByteClasses {
  std::uint64_t digit = 0;
  std::uint64_t zero = 0;
  std::uint64_t minus = 0;
  std::uint64_t point = 0;
  std::uint64_t exponent = 0;  // 'e' or 'E'
  std::uint64_t comma = 0;
  std::uint64_t space = 0;
  std::uint64_t close = 0;  // ']'
};

// The 64 bytes from `p`, or, for the line's last bytes, a copy of them
// followed by zeros, which no list holds.
[[gnu::always_inline]] inline const char* block_at(const char* p, const char* end, char (&padded)[64]) {
  if (end - p >= 64) return p;
  std::memset(padded, 0, sizeof padded);
  std::memcpy(padded, p, static_cast<std::size_t>(end - p));
  return padded;
}

// What one block tells of the list.
struct BlockVerdict {
  bool unproved = false;
  std::uint64_t close = 0;          // the list's ']', if in this block
  std::uint64_t number_starts = 0;  // the first byte of each number before it
};

// The first byte that is not a digit or a minus sign after each run of them
// that `starts` marks, carrying runs from block to block: adding a bit at
// the start of a run of ones carries it through the run to the byte after.
// A run carried in from the block before ends there on a digit or a minus
// sign, so bit 0 of `starts` (a mark just before the block) is clear then,
// and the carry joins the addend as that bit.
[[gnu::always_inline]] inline std::uint64_t run_ends(std::uint64_t inside, std::uint64_t starts, bool& carry) {
  std::uint64_t sum;
  carry = __builtin_add_overflow(inside, (starts & inside) | static_cast<std::uint64_t>(carry), &sum);
  return sum & ~inside;
}

// The class of the byte before each byte of a block, given that of the
// block's last byte as bit 0.
[[gnu::always_inline]] inline std::uint64_t before(std::uint64_t mask, std::uint64_t carried) {
  return (mask << 1) | carried;
}

// The grammar's rules applied to a list's blocks, in order, from the one
// just after its '['.
class ListProof {
 public:
  [[gnu::always_inline]] BlockVerdict next(const ByteClasses& c) {
    BlockVerdict verdict;
    const std::uint64_t close = c.close & (0 - c.close);  // the first ']'
    const std::uint64_t in = close == 0 ? ~std::uint64_t{0} : close - 1;
    const std::uint64_t known = c.digit | c.minus | c.point | c.exponent | c.comma | c.space | c.close;
    // A run of 128 digits holds a whole block: numbers that long are left to
    // the walk, so every integer part proved here is below 10^128.
    if ((~known & in) != 0 || c.digit == ~std::uint64_t{0}) {
      verdict.unproved = true;
      return verdict;
    }

    // The classes of the bytes before, joined as the rules use them; a
    // space or a comma is a separator, and so is the '[' before the first
    // block.
    const std::uint64_t separator = c.comma | c.space;
    const std::uint64_t after_digit = before(c.digit, last_.digit);
    const std::uint64_t after_point = before(c.point, last_.point);
    const std::uint64_t after_exponent = before(c.exponent, last_.exponent);
    const std::uint64_t after_separator = before(separator, last_.separator);
    const std::uint64_t after_digit_lead =
        before(c.digit | c.minus | c.point | separator, last_.digit_lead);
    const std::uint64_t after_minus_lead = before(c.exponent | separator, last_.minus_lead);
    // Minus signs that start a number, and leading zeros of integer parts.
    const std::uint64_t sign = c.minus & after_separator;
    const std::uint64_t integer_start = c.digit & (after_separator | before(sign, last_.sign));
    const std::uint64_t leading_zero = integer_start & c.zero;

    // What may come before each byte: a digit after a digit, a sign, a full
    // stop or a separator (never straight after an exponent mark: positive
    // exponents are left to the walk, which checks their range); a minus
    // sign at a number's start or after an exponent mark; a full stop, an
    // exponent mark or a comma after a digit; a space after a separator;
    // the ']' after a digit or the '['. After a leading zero, no digit.
    std::uint64_t bad = c.digit & ~after_digit_lead;
    bad |= c.minus & ~after_minus_lead;
    bad |= (c.point | c.exponent | c.comma) & ~after_digit;
    bad |= c.space & ~after_separator;
    bad |= c.digit & before(leading_zero, last_.leading_zero);
    bad |= close & ~(after_digit | last_.open);
    // One full stop and one exponent mark a number, the full stop first:
    // the digits after a full stop run into no second one, and those after
    // an exponent mark's sign into no full stop or mark.
    const std::uint64_t inside = c.digit | c.minus;
    bad |= run_ends(inside, after_point, carry_after_point_) & c.point;
    bad |= run_ends(inside, after_exponent, carry_after_exponent_) & (c.point | c.exponent);
    verdict.unproved = (bad & (in | close)) != 0;
    verdict.close = close;
    verdict.number_starts = inside & after_separator & in;

    last_.digit = c.digit >> 63;
    last_.point = c.point >> 63;
    last_.exponent = c.exponent >> 63;
    last_.separator = separator >> 63;
    last_.digit_lead = (c.digit | c.minus | c.point | separator) >> 63;
    last_.minus_lead = (c.exponent | separator) >> 63;
    last_.sign = sign >> 63;
    last_.leading_zero = leading_zero >> 63;
    last_.open = 0;
    return verdict;
  }

 private:
  // The byte before the block, as bit 0 of a mask per class or union of
  // classes: at first the '[', which counts as a separator.
  struct LastByte {
    std::uint64_t digit = 0;
    std::uint64_t point = 0;
    std::uint64_t exponent = 0;
    std::uint64_t separator = 1;
    std::uint64_t digit_lead = 1;  // what may come before a digit
    std::uint64_t minus_lead = 1;  // what may come before a minus sign
    std::uint64_t sign = 0;
    std::uint64_t leading_zero = 0;
    std::uint64_t open = 1;
  };
  LastByte last_;
  bool carry_after_point_ = false;
  bool carry_after_exponent_ = false;
};

}  // namespace ondravane::number_list
