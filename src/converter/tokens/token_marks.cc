// Removing the sub-word marks from tokens, and telling when that joins text.
#include "converter/tokens/token_marks.h"

namespace ondravane {

namespace {

// Removes the non-overlapping occurrences of `mark`, compacting in place.
void remove_all(std::string& text, std::string_view mark) {
  std::size_t found = text.find(mark);
  if (found == std::string::npos) return;
  std::size_t write = found;
  std::size_t read = found;
  while (read < text.size()) {
    if (text.compare(read, mark.size(), mark) == 0) {
      read += mark.size();
    } else {
      text[write++] = text[read++];
    }
  }
  text.resize(write);
}

}  // namespace

void remove_token_marks(std::string& token) {
  remove_all(token, kPieceMark);
  remove_all(token, kSpaceMark);
}

bool marks_join_pieces(std::string_view token) {
  std::string cleaned(token);
  remove_token_marks(cleaned);
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
