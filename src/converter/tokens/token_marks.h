// The sub-word marks that the reader removes from every token: every "##"
// first, then every "Ġ" (U+0120) of what is left.
#pragma once

#include <string>
#include <string_view>

namespace ondravane {

inline constexpr std::string_view kPieceMark = "##";
inline constexpr std::string_view kSpaceMark = "\xC4\xA0";  // U+0120

// Whether `token` holds a mark at all.
inline bool has_token_marks(std::string_view token) {
  return token.find(kPieceMark) != std::string_view::npos ||
         token.find(kSpaceMark) != std::string_view::npos;
}

// Removes the marks in place. Each pass removes non-overlapping occurrences
// from left to right, so a "##" that the second pass brings together stays.
void remove_token_marks(std::string& token);

// Whether removing the marks joins text that stood on both sides of one
// ("a##b" becomes "ab"), as opposed to only dropping marks at either end
// ("##ing", "Ġthe").
bool marks_join_pieces(std::string_view token);

}  // namespace ondravane
