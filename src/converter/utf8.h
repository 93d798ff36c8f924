// Strict UTF-8 validation, as a standard decoder accepts it: shortest forms
// only, no surrogate code points, nothing above U+10FFFF, no truncated or
// stray sequences.
#pragma once

#include <string_view>

namespace ondravane {

bool is_valid_utf8(std::string_view text);

}  // namespace ondravane
