// The text of a list of values as the output writes it ("v1 v2 ... vn"),
// made while the list is read, so that each value's text can come from the
// number's own text (format_read_value).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "converter/json/number_scan.h"
#include "converter/output/digits_as_read.h"
#include "converter/output/value_text.h"
#include "support/growing_bytes.h"

namespace ondravane {

// The text of `value`, converted (convert_number) from the number text at
// `start` that `scan` describes: format_value's text, from the digits read
// when they are the value's shortest (digits_as_read.h) rather than
// searched for, and when the output lays them out as the text does, the
// text itself. Bytes up to `readable_end` (at least the text's end) may be
// read. Inline with the number's reading, whose scan stays in registers.
[[gnu::always_inline]] inline std::size_t format_read_value(double value, const NumberScan& scan, const char* start,
                                                            const char* readable_end,
                                                            std::span<char, kMaxValueChars> out) {
  DecimalDigits digits;
  if (!digits_as_read(scan, std::fabs(value), digits)) return format_value(value, out);
  // Positional text ending in a significant digit is the output's: JSON
  // writes no leading zeros, and the output puts the point where the text
  // has it.
  if (scan.has_exponent || (scan.fraction_count != 0 && scan.end[-1] == '0')) {
    return format_digits(scan.negative, digits, out);
  }
  const auto length = static_cast<std::size_t>(scan.end - start);
  // Whole 32-byte copies where the text allows: the texts copied are at most
  // 26 bytes, and `out` holds more than 32.
  static_assert(kMaxValueChars >= 32);
  if (readable_end - start >= 32) {
    std::memcpy(out.data(), start, 32);
  } else {
    std::memcpy(out.data(), start, length);
  }
  return length;
}

class ValueListText {
 public:
  // The most bytes held: the text of a longer list (hundreds of times the
  // dimensions of a model's layers) is given up, so that its memory stays
  // bounded whatever the values (a subnormal's text takes 327 bytes).
  static constexpr std::size_t kMostBytes = std::size_t{256} << 10;

  void clear() {
    bytes_.set_size(0);
    given_up_ = false;
  }
  // Whether the list's text is complete: not given up for its length.
  bool complete() const { return !given_up_; }
  // Adds the value converted from the number text at `start`, which `scan`
  // describes; bytes up to `readable_end` may be read.
  void add(double value, const NumberScan& scan, const char* start, const char* readable_end) {
    if (bytes_.room() < kMaxValueSlot) grow();
    char* at = bytes_.end();
    *at = ' ';  // kept from the second value on: every value's text is one byte or more
    at += bytes_.size() != 0 ? 1 : 0;
    const std::size_t length =
        format_read_value(value, scan, start, readable_end, std::span<char, kMaxValueChars>(at, kMaxValueChars));
    bytes_.set_size(static_cast<std::size_t>(at - bytes_.data()) + length);
  }
  std::string_view text() const { return bytes_.bytes(); }
  std::size_t capacity() const { return bytes_.capacity(); }
  // Gives the memory back when it grew beyond `limit` bytes.
  void release_beyond(std::size_t limit) { bytes_.release_beyond(limit); }

 private:
  void grow() {
    if (2 * bytes_.capacity() > kMostBytes) {
      // Given up: the values that follow are written over the first bytes,
      // and nothing grows any more.
      given_up_ = true;
      bytes_.set_size(0);
      return;
    }
    bytes_.reallocate(bytes_.capacity() == 0 ? 16 * kMaxValueSlot : 2 * bytes_.capacity());
  }

  GrowingBytes bytes_;
  bool given_up_ = false;
};

}  // namespace ondravane
