#include "converter/token_markers.h"

namespace ondravane {

namespace {

constexpr std::string_view kPieceMark = "##";
constexpr std::string_view kSpaceMark = "\xC4\xA0";

// Removes the non-overlapping occurrences of `marker`, compacting in place.
void remove_all(std::string& text, std::string_view marker) {
  std::size_t found = text.find(marker);
  if (found == std::string::npos) return;
  std::size_t write = found;
  std::size_t read = found;
  while (read < text.size()) {
    if (text.compare(read, marker.size(), marker) == 0) {
      read += marker.size();
    } else {
      text[write++] = text[read++];
    }
  }
  text.resize(write);
}

}  // namespace

void remove_token_markers(std::string& token) {
  remove_all(token, kPieceMark);
  remove_all(token, kSpaceMark);
}

bool markers_join_pieces(std::string_view token) {
  std::string cleaned(token);
  remove_token_markers(cleaned);
  if (cleaned.size() == token.size()) return false;
  // The token with its marks dropped only where they stand at either end.
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (std::string_view mark : {kPieceMark, kSpaceMark}) {
      if (token.starts_with(mark)) token.remove_prefix(mark.size()), trimmed = true;
      if (token.ends_with(mark)) token.remove_suffix(mark.size()), trimmed = true;
    }
  }
  return cleaned != token;
}

}  // namespace ondravane
