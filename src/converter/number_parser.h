// JSON numbers: the grammar, the plain unsigned integers of the index fields,
// and the deterministic significand/exponent conversion of vector values.
//
// The cursor functions take the text [p, end) starting at a number's first
// byte and return the position just past the number, or nullptr when the text
// there is rejected. They stop at the first byte that cannot continue the
// number; whether that byte may follow a number is the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "support/float_eval.h"

namespace ondravane {

// Checks the number grammar only (no conversion, so nothing is out of range).
const char* scan_number(const char* p, const char* end);

// Checks and converts a number to a double. Rejects grammar errors and the
// out-of-range magnitudes of the conversion. Negative zero keeps its sign.
const char* parse_number(const char* p, const char* end, double& value);

// The same conversion one digit at a time, as the rules are stated. It is the
// path for the uncommon shapes and the reference the fast path is tested
// against.
const char* parse_number_digitwise(const char* p, const char* end, double& value);

// Whole-word digit reading behind the fast path: how many of the eight bytes
// of `word` (the first byte in its lowest bits) are digits before the first
// other byte, and the value of the first `count` of them (count <= 8, all
// digits) as a decimal integer.
std::size_t leading_digit_count(std::uint64_t word);
std::uint64_t leading_digits_value(std::uint64_t word, std::size_t count);

// Reads a plain unsigned integer (digits only, no sign, fraction or exponent)
// of at most 4294967295.
const char* parse_index(const char* p, const char* end, std::uint32_t& value);

// The same checks applied to a whole text, which must hold one number and
// nothing else.
bool is_json_number(std::string_view text);
std::optional<double> parse_json_number(std::string_view text);
std::optional<std::uint32_t> parse_json_index(std::string_view text);

}  // namespace ondravane
