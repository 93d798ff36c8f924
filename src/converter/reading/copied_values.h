// How the copy of an input read once holds a layer's list of values: as
// its numbers when that is shorter than its text, so that the copy of a
// dump of float32 activations (about 20 characters a value) takes about 4
// bytes a value and the second reading converts nothing. A list held as
// numbers starts with a kind byte that no JSON value starts with, then its
// count and the values in the machine's own order (the copy is read back
// only by the process that wrote it); a list kept as text starts with '['.
//
// The values are those the conversion made of the text, which need not be
// the nearest doubles to it: the text of a widened float32, converted by
// one rounded scaling of its digits, often lands one unit in the last place
// beside the float32. So a list of values that each lie within one unit of
// a float32 is held as those float32s and a 2-bit step each (0, +1 or -1
// unit of the double's bits), 4.25 bytes a value; a list of float32s
// exactly, as the float32s alone; any other list as its doubles. Every
// double is held exactly, so the output cannot tell the forms apart.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ondravane {

namespace copied_values_detail {

enum Kind : char { kFloats = 1, kDoubles = 2, kSteppedFloats = 3 };
inline constexpr std::size_t kHeaderBytes = 1 + sizeof(std::uint32_t);

// The step of each value from its float32, four to a byte: none, one unit
// up or one unit down in the double's bits (of its magnitude: the bits of a
// negative double grow away from zero too).
enum Step : std::uint8_t { kNone = 0, kUp = 1, kDown = 2, kFar = 3 };
inline constexpr std::size_t kStepsPerByte = 4;

inline std::uint64_t bits_of(double value) { return std::bit_cast<std::uint64_t>(value); }

// The value's step from the float32 nearest to it; kFar when there is no
// float32 within one unit (outside float's range the narrowing is
// undefined, not merely inexact).
inline Step step_from_float(double value, float& narrow) {
  if (!(std::fabs(value) <= FLT_MAX)) return kFar;
  narrow = static_cast<float>(value);
  // Narrowing keeps the sign, so both bit patterns count from the same zero.
  const std::uint64_t wide = bits_of(static_cast<double>(narrow));
  const std::uint64_t exact = bits_of(value);
  if (exact == wide) return kNone;
  if (exact == wide + 1) return kUp;
  if (exact + 1 == wide) return kDown;
  return kFar;
}

inline std::size_t step_bytes(std::size_t count) { return (count + kStepsPerByte - 1) / kStepsPerByte; }

}  // namespace copied_values_detail

// Appends to `copy` the list `values`, whose text is `text`, in the
// shortest of its forms.
inline void append_copied_values(std::string& copy, std::string_view text, std::span<const double> values) {
  using namespace copied_values_detail;
  Kind kind = kFloats;
  for (const double value : values) {
    float unused;
    const Step step = step_from_float(value, unused);
    if (step == kFar) {
      kind = kDoubles;
      break;
    }
    if (step != kNone) kind = kSteppedFloats;
  }
  const std::size_t count = values.size();
  const std::size_t held = kind == kDoubles ? count * sizeof(double)
                           : kind == kFloats ? count * sizeof(float)
                                             : count * sizeof(float) + step_bytes(count);
  // Counts that do not fit 32 bits cannot come from a line, whose places
  // are 32-bit; the text is kept for them all the same.
  if (count > UINT32_MAX || kHeaderBytes + held >= text.size()) {
    copy += text;
    return;
  }
  const std::size_t start = copy.size();
  copy.resize(start + kHeaderBytes + held);
  char* at = copy.data() + start;
  *at++ = kind;
  const std::uint32_t count32 = static_cast<std::uint32_t>(count);
  std::memcpy(at, &count32, sizeof count32);
  at += sizeof count32;
  if (kind == kDoubles) {
    std::memcpy(at, values.data(), count * sizeof(double));
    return;
  }
  char* steps = at + count * sizeof(float);
  if (kind == kSteppedFloats) std::memset(steps, 0, step_bytes(count));
  for (std::size_t i = 0; i < count; ++i) {
    float narrow = 0;
    const Step step = step_from_float(values[i], narrow);
    std::memcpy(at, &narrow, sizeof narrow);
    at += sizeof narrow;
    if (kind == kSteppedFloats) {
      steps[i / kStepsPerByte] = static_cast<char>(steps[i / kStepsPerByte] | step << 2 * (i % kStepsPerByte));
    }
  }
}

// Whether `piece` starts with a list held as numbers.
inline bool holds_copied_numbers(std::string_view piece) {
  using namespace copied_values_detail;
  return !piece.empty() && (piece.front() == kFloats || piece.front() == kDoubles || piece.front() == kSteppedFloats);
}

// Reads the list held as numbers at the start of `piece` into `values`;
// `used` receives its length in bytes. False when `piece` does not hold it
// whole.
inline bool read_copied_numbers(std::string_view piece, std::vector<double>& values, std::size_t& used) {
  using namespace copied_values_detail;
  if (piece.size() < kHeaderBytes) return false;
  const Kind kind = static_cast<Kind>(piece.front());
  std::uint32_t count;
  std::memcpy(&count, piece.data() + 1, sizeof count);
  const std::size_t room = piece.size() - kHeaderBytes;
  const std::size_t held = kind == kDoubles ? std::size_t{count} * sizeof(double)
                           : kind == kFloats ? std::size_t{count} * sizeof(float)
                                             : std::size_t{count} * sizeof(float) + step_bytes(count);
  // Compared by division first: a count near 2^32 times 8 passes 32 bits.
  if (room / (kind == kDoubles ? sizeof(double) : sizeof(float)) < count || room < held) return false;
  const char* at = piece.data() + kHeaderBytes;
  values.resize(count);
  if (kind == kDoubles) {
    std::memcpy(values.data(), at, std::size_t{count} * sizeof(double));
  } else {
    const char* steps = at + std::size_t{count} * sizeof(float);
    for (std::size_t i = 0; i < count; ++i) {
      float narrow;
      std::memcpy(&narrow, at + i * sizeof narrow, sizeof narrow);
      values[i] = narrow;
      if (kind == kSteppedFloats) {
        const unsigned step = (static_cast<unsigned char>(steps[i / kStepsPerByte]) >> 2 * (i % kStepsPerByte)) & 3u;
        if (step != kNone) {
          values[i] = std::bit_cast<double>(bits_of(values[i]) + (step == kUp ? 1 : std::uint64_t(0) - 1));
        }
      }
    }
  }
  used = kHeaderBytes + held;
  return true;
}

}  // namespace ondravane
