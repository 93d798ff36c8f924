// The sub-word marks that the reader removes from every token: every "##"
// first, then every "Ġ" (U+0120) of what is left.
#pragma once

#include <string>
#include <string_view>

namespace ondravane {

// Removes the marks in place. Each pass removes non-overlapping occurrences
// from left to right, so a "##" that the second pass brings together stays.
void remove_token_markers(std::string& token);

// Whether removing the marks joins text that stood on both sides of one
// ("a##b" becomes "ab"), as opposed to only dropping marks at either end
// ("##ing", "Ġthe").
bool markers_join_pieces(std::string_view token);

}  // namespace ondravane
