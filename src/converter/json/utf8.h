// Strict UTF-8 validation, as a standard decoder accepts it: shortest forms
// only, no surrogate code points, nothing above U+10FFFF, no truncated or
// stray sequences.
#pragma once

#include <cstddef>
#include <string_view>

namespace ondravane {

bool is_valid_utf8(std::string_view text);

// The byte offset of the first byte that does not begin a well-formed
// sequence, or the text's size when the whole text is valid.
std::size_t first_invalid_utf8(std::string_view text);

// The length of the well-formed multi-byte sequence at `p`, whose first byte
// is not ASCII and which may use `available` bytes, or 0 when it is
// malformed. Walking a text with it from a character boundary, and stepping
// over ASCII bytes one at a time, checks exactly what is_valid_utf8 checks.
std::size_t utf8_sequence_length(const unsigned char* p, std::size_t available);

}  // namespace ondravane
