// Number rules applied to bare texts, for tests, fuzzers and benchmarks:
// the program itself only ever meets numbers inside a line.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/json/number_conversion.h"
#include "converter/json/number_scan.h"

namespace ondravane {

// Cursor forms over [p, end): the position just past the number, or nullptr
// when the text there is rejected (grammar, range or index rules).
inline const char* scan_number(const char* p, const char* end) {
  const NumberScan scan = scan_number_text(p, end);
  return scan.valid ? scan.end : nullptr;
}

inline const char* parse_number(const char* p, const char* end, double& value) {
  const NumberScan scan = scan_number_text(p, end);
  if (!scan.valid || !convert_number(scan, value)) return nullptr;
  return scan.end;
}

// The same checks applied to a whole text, which must hold one number and
// nothing else.
inline bool is_json_number(std::string_view text) {
  const NumberScan scan = scan_number_text(text.data(), text.data() + text.size());
  return scan.valid && scan.end == text.data() + text.size();
}

inline std::optional<double> parse_json_number(std::string_view text) {
  const char* end = text.data() + text.size();
  double value;
  const char* stop = parse_number(text.data(), end, value);
  if (stop == nullptr || stop != end) return std::nullopt;
  return value;
}

inline std::optional<std::uint32_t> parse_json_index(std::string_view text) {
  const char* end = text.data() + text.size();
  const NumberScan scan = scan_number_text(text.data(), end);
  std::uint32_t value;
  if (!scan.valid || scan.end != end || check_index(scan, value) != IndexCheck::kOk) return std::nullopt;
  return value;
}

}  // namespace ondravane
