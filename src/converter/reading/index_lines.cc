// Indexing the lines of a chunk, and adding them to the index in file order.
#include "converter/reading/index_lines.h"

#include <string_view>

#include "converter/tokens/token_marks.h"
#include "support/failure.h"

namespace ondravane {

namespace {

// Notes the pieces read again of `line` from `first_piece` on for the copy,
// which holds them one after another, and moves them to where the copy holds
// them; returns the bytes the line takes in the copy.
std::uint64_t note_copied_pieces(IndexChunk& chunk, std::string_view line, std::size_t first_piece) {
  std::uint64_t length = 0;
  for (std::size_t k = first_piece; k < chunk.pieces.size(); ++k) {
    PiecePlace& place = chunk.pieces[k];
    if (place.offset == PiecePlace::kMissing) continue;
    char* const piece = const_cast<char*>(line.data()) + place.offset;
    iovec* const last = chunk.spilled.empty() ? nullptr : &chunk.spilled.back();
    if (last != nullptr && static_cast<char*>(last->iov_base) + last->iov_len == piece) {
      last->iov_len += place.length;
    } else {
      chunk.spilled.push_back(iovec{piece, place.length});
    }
    place.offset = static_cast<std::uint32_t>(length);
    length += place.length;
  }
  return length;
}

}  // namespace

void IndexLines::operator()(IndexChunk& chunk, const WorkShift& shift) const {
  chunk.lines.clear();
  chunk.pieces.clear();
  chunk.prints.clear();
  chunk.tokens.clear();
  chunk.token_ends.clear();
  chunk.spilled.clear();
  chunk.taken_occurrences = 0;
  std::string token;
  work_lines(
      chunk, shift,
      [&](std::string_view raw, std::string_view line) {
        // Places are 32-bit offsets within a line.
        if (line.size() >= PiecePlace::kMissing) {
          fail("a line longer than 4 GiB cannot be converted");
        }
        LineParser& parser = chunk.parser;
        if (!parser.index_unchecked_utf8(line, number_tokens, *layers)) return false;
        const std::vector<PiecePlace>& pieces = parser.indexed_pieces();
        const std::vector<std::uint32_t>& prints = parser.indexed_fingerprints();
        const std::size_t first_piece = chunk.pieces.size();
        chunk.pieces.insert(chunk.pieces.end(), pieces.begin(), pieces.end());
        chunk.prints.insert(chunk.prints.end(), prints.begin(), prints.end());
        const std::uint64_t length = copied ? note_copied_pieces(chunk, line, first_piece) : raw.size();
        chunk.lines.push_back(IndexedLine{length, parser.indexed_linex_index(),
                                          static_cast<std::uint32_t>(prints.size())});
        if (number_tokens) {
          for (std::size_t i = 0; i < prints.size(); ++i) {
            token.assign(parser.indexed_token(i));
            remove_token_marks(token);
            chunk.tokens += token;
            chunk.token_ends.push_back(chunk.tokens.size());
          }
        }
        return true;
      },
      [&] { return chunk.result_bytes(); });
}

void IndexBuilder::take(IndexChunk& chunk, std::size_t i) {
  const IndexedLine& line = chunk.lines[i];
  // The pass's pieces in one go, with its last line: every line of a pass
  // is taken (the line that stopped it is not one of them).
  if (copy_ != nullptr && i + 1 == chunk.lines.size()) copy_->append(chunk.spilled);
  index_.lines.push_back(line);
  const std::size_t per_occurrence = index_.places_per_occurrence();
  for (std::uint32_t k = 0; k < line.occurrences; ++k) {
    const std::size_t occurrence = chunk.taken_occurrences++;
    for (std::size_t piece = 0; piece < per_occurrence; ++piece) {
      index_.places.push_back(chunk.pieces[occurrence * per_occurrence + piece].offset);
    }
    index_.fingerprints.push_back(chunk.prints[occurrence]);
    if (index_.numbered) {
      const std::size_t begin = occurrence == 0 ? 0 : chunk.token_ends[occurrence - 1];
      const std::string_view token(chunk.tokens.data() + begin, chunk.token_ends[occurrence] - begin);
      index_.token_numbers.push_back(index_.tokens.number_of(token));
    }
  }
}

}  // namespace ondravane
