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

// The step of each value from its float32, four to a byte: the difference
// of the two bit patterns (0, 1 or -1; the bits of a negative double grow
// away from zero too) in two's complement, so 0, 1 and 3.
inline constexpr std::size_t kStepsPerByte = 4;
inline std::size_t step_bytes(std::size_t count) { return (count + kStepsPerByte - 1) / kStepsPerByte; }

inline std::uint64_t bits_of(double value) { return std::bit_cast<std::uint64_t>(value); }

// The float32 nearest to `value` and the step from it; false when no
// float32 lies within one unit (outside float's range the narrowing is
// undefined, not merely inexact). Narrowing keeps the sign, so both bit
// patterns count from the same zero.
inline bool float_within_a_step(double value, float& narrow, unsigned& step) {
  if (!(std::fabs(value) <= FLT_MAX)) return false;
  narrow = static_cast<float>(value);
  const std::uint64_t difference = bits_of(value) - bits_of(static_cast<double>(narrow));
  step = static_cast<unsigned>(difference) & 3u;
  return difference + 1 <= 2;
}

inline double stepped(float narrow, unsigned step) {
  // The step's two bits sign-extended: 0, 1 or -1.
  const std::int64_t units = static_cast<std::int64_t>(std::uint64_t{step} << 62) >> 62;
  return std::bit_cast<double>(bits_of(static_cast<double>(narrow)) + static_cast<std::uint64_t>(units));
}

inline std::size_t held_bytes(Kind kind, std::size_t count) {
  switch (kind) {
    case kFloats: return count * sizeof(float);
    case kSteppedFloats: return count * sizeof(float) + step_bytes(count);
    default: return count * sizeof(double);
  }
}

// Writes the values as float32s at `at`, then their steps; false when a
// value has no float32 within a step. `any_step` tells whether a step is
// not 0. Four values a step byte, in groups the compiler unrolls.
inline bool write_stepped_floats(char* at, std::span<const double> values, bool& any_step) {
  char* steps = at + values.size() * sizeof(float);
  unsigned all_steps = 0;
  const auto group = [&](std::size_t first, std::size_t size) {
    unsigned packed = 0;
    for (std::size_t k = 0; k < size; ++k) {
      float narrow;
      unsigned step;
      if (!float_within_a_step(values[first + k], narrow, step)) return false;
      std::memcpy(at + (first + k) * sizeof narrow, &narrow, sizeof narrow);
      packed |= step << 2 * k;
    }
    steps[first / kStepsPerByte] = static_cast<char>(packed);
    all_steps |= packed;
    return true;
  };
  const std::size_t whole = values.size() - values.size() % kStepsPerByte;
  for (std::size_t first = 0; first < whole; first += kStepsPerByte) {
    if (!group(first, kStepsPerByte)) return false;
  }
  if (whole < values.size() && !group(whole, values.size() - whole)) return false;
  any_step = all_steps != 0;
  return true;
}

// Reads `count` float32s at `at` and their steps after them into `values`.
inline void read_stepped_floats(const char* at, std::size_t count, double* values) {
  const unsigned char* steps = reinterpret_cast<const unsigned char*>(at) + count * sizeof(float);
  const auto group = [&](std::size_t first, std::size_t size) {
    const unsigned packed = steps[first / kStepsPerByte];
    for (std::size_t k = 0; k < size; ++k) {
      float narrow;
      std::memcpy(&narrow, at + (first + k) * sizeof narrow, sizeof narrow);
      values[first + k] = stepped(narrow, (packed >> 2 * k) & 3u);
    }
  };
  const std::size_t whole = count - count % kStepsPerByte;
  for (std::size_t first = 0; first < whole; first += kStepsPerByte) group(first, kStepsPerByte);
  if (whole < count) group(whole, count - whole);
}

}  // namespace copied_values_detail

// Appends to `copy` the list `values`, whose text is `text`, in the
// shortest of its forms.
inline void append_copied_values(std::string& copy, std::string_view text, std::span<const double> values) {
  using namespace copied_values_detail;
  const std::size_t count = values.size();
  const auto shorter = [&](Kind kind) { return kHeaderBytes + held_bytes(kind, count) < text.size(); };
  // Counts that do not fit 32 bits cannot come from a line, whose places
  // are 32-bit; the text is kept for them all the same.
  if (count > UINT32_MAX || !shorter(kFloats)) {
    copy += text;
    return;
  }
  const std::size_t start = copy.size();
  // Room for the float32 form only: resizing fills with zeros, and the
  // doubles' form, twice as long, is seldom the one kept.
  copy.resize(start + kHeaderBytes + held_bytes(kSteppedFloats, count));
  // The float32s are tried first: in a dump of them one far value is rare,
  // and in a dump of doubles the first value is most often far already.
  Kind kind = kDoubles;
  bool any_step = false;
  if (write_stepped_floats(copy.data() + start + kHeaderBytes, values, any_step)) {
    kind = any_step ? kSteppedFloats : kFloats;
  }
  if (!shorter(kind)) {
    copy.resize(start);
    copy += text;
    return;
  }
  if (kind == kDoubles) {
    copy.resize(start + kHeaderBytes + held_bytes(kDoubles, count));
    std::memcpy(copy.data() + start + kHeaderBytes, values.data(), count * sizeof(double));
  }
  char* const at = copy.data() + start;
  const std::uint32_t count32 = static_cast<std::uint32_t>(count);
  std::memcpy(at + 1, &count32, sizeof count32);
  at[0] = kind;
  copy.resize(start + kHeaderBytes + held_bytes(kind, count));
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
  // Compared by division first: a count near 2^32 times 8 passes 32 bits.
  if (room / (kind == kDoubles ? sizeof(double) : sizeof(float)) < count || room < held_bytes(kind, count)) {
    return false;
  }
  const char* at = piece.data() + kHeaderBytes;
  values.resize(count);
  if (kind == kDoubles) {
    std::memcpy(values.data(), at, std::size_t{count} * sizeof(double));
  } else if (kind == kFloats) {
    for (std::size_t i = 0; i < count; ++i) {
      float narrow;
      std::memcpy(&narrow, at + i * sizeof narrow, sizeof narrow);
      values[i] = narrow;
    }
  } else {
    read_stepped_floats(at, count, values.data());
  }
  used = kHeaderBytes + held_bytes(kind, count);
  return true;
}

}  // namespace ondravane
