// How the copy of an input read once holds a layer's list of values: as
// its numbers when that is shorter than its text, so that the copy of a
// dump of widened float32 values (about 20 characters a value) takes 4
// bytes a value and the second reading converts nothing. A list held as
// numbers starts with a kind byte that no JSON value starts with, then its
// count and the values in the machine's own order (the copy is read back
// only by the process that wrote it); a list kept as text starts with '['.
// Every double is held exactly, so the output cannot tell the two apart.
#pragma once

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

enum Kind : char { kFloats = 1, kDoubles = 2 };
inline constexpr std::size_t kHeaderBytes = 1 + sizeof(std::uint32_t);

inline bool is_float(double value) {
  // Outside float's range the conversion is undefined, not merely inexact.
  return std::fabs(value) <= FLT_MAX && static_cast<double>(static_cast<float>(value)) == value;
}

}  // namespace copied_values_detail

// Appends to `copy` the list `values`, whose text is `text`, in the shorter
// of its two forms.
inline void append_copied_values(std::string& copy, std::string_view text, std::span<const double> values) {
  using namespace copied_values_detail;
  bool floats = true;
  for (const double value : values) {
    if (!is_float(value)) {
      floats = false;
      break;
    }
  }
  const std::size_t width = floats ? sizeof(float) : sizeof(double);
  // Counts that do not fit 32 bits cannot come from a line, whose places
  // are 32-bit; the text is kept for them all the same.
  if (values.size() > UINT32_MAX || kHeaderBytes + values.size() * width >= text.size()) {
    copy += text;
    return;
  }
  const std::size_t start = copy.size();
  copy.resize(start + kHeaderBytes + values.size() * width);
  char* at = copy.data() + start;
  *at++ = floats ? kFloats : kDoubles;
  const std::uint32_t count = static_cast<std::uint32_t>(values.size());
  std::memcpy(at, &count, sizeof count);
  at += sizeof count;
  if (floats) {
    for (const double value : values) {
      const float narrow = static_cast<float>(value);
      std::memcpy(at, &narrow, sizeof narrow);
      at += sizeof narrow;
    }
  } else {
    std::memcpy(at, values.data(), values.size() * sizeof(double));
  }
}

// Whether `piece` starts with a list held as numbers.
inline bool holds_copied_numbers(std::string_view piece) {
  using namespace copied_values_detail;
  return !piece.empty() && (piece.front() == kFloats || piece.front() == kDoubles);
}

// Reads the list held as numbers at the start of `piece` into `values`;
// `used` receives its length in bytes. False when `piece` does not hold it
// whole.
inline bool read_copied_numbers(std::string_view piece, std::vector<double>& values, std::size_t& used) {
  using namespace copied_values_detail;
  if (piece.size() < kHeaderBytes) return false;
  const std::size_t width = piece.front() == kFloats ? sizeof(float) : sizeof(double);
  std::uint32_t count;
  std::memcpy(&count, piece.data() + 1, sizeof count);
  if ((piece.size() - kHeaderBytes) / width < count) return false;
  const char* at = piece.data() + kHeaderBytes;
  values.resize(count);
  if (width == sizeof(float)) {
    for (double& value : values) {
      float narrow;
      std::memcpy(&narrow, at, sizeof narrow);
      value = narrow;
      at += sizeof narrow;
    }
  } else {
    std::memcpy(values.data(), at, std::size_t{count} * sizeof(double));
  }
  used = kHeaderBytes + std::size_t{count} * width;
  return true;
}

}  // namespace ondravane
