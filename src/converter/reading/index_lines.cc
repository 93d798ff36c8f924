// Indexing the lines of a chunk, and adding them to the index in file order.
#include "converter/reading/index_lines.h"

#include <sys/uio.h>

#include <span>
#include <string_view>

#include "converter/reading/copied_values.h"
#include "converter/tokens/token_marks.h"
#include "support/failure.h"

namespace ondravane {

namespace {

// Adds the pieces read again of `line` from `first_piece` on (those of the
// occurrences from `first_print` on, `per_occurrence` pieces each, the
// token's first when `token_first`) to the chunk's copy, and moves their
// places and fingerprints to the copy's; returns the bytes the line takes
// in the copy.
std::uint64_t copy_pieces(IndexChunk& chunk, LineParser& parser, std::string_view line, std::size_t first_piece,
                          std::size_t first_print, std::size_t per_occurrence, bool token_first) {
  const std::size_t line_start = chunk.copy.size();
  PiecePrints prints;
  for (std::size_t k = first_piece; k < chunk.pieces.size(); ++k) {
    const std::size_t slot = (k - first_piece) % per_occurrence;
    if (slot == 0) prints = {};
    PiecePlace& place = chunk.pieces[k];
    if (place.offset != PiecePlace::kMissing) {
      const std::string_view text = line.substr(place.offset, place.length);
      const std::size_t start = chunk.copy.size();
      std::size_t end = 0;
      // A list the walk did not convert was checked by the same rules; were
      // it not read, its text would go, and the second reading would fail
      // on it as on the file.
      std::span<const double> converted;
      if (token_first && slot == 0) {
        chunk.copy += text;
      } else if (parser.indexed_values((k - first_piece) / per_occurrence, converted)) {
        append_copied_values(chunk.copy, text, converted);
      } else if (parser.read_values(line, place.offset, chunk.values, end)) {
        append_copied_values(chunk.copy, text, chunk.values);
      } else {
        chunk.copy += text;
      }
      place.offset = static_cast<std::uint32_t>(start - line_start);
      place.length = static_cast<std::uint32_t>(chunk.copy.size() - start);
      prints.add(fingerprint(std::string_view(chunk.copy).substr(start)));
    }
    if (slot + 1 == per_occurrence) chunk.prints[first_print + (k - first_piece) / per_occurrence] = prints.value();
  }
  return chunk.copy.size() - line_start;
}

}  // namespace

void IndexLines::operator()(IndexChunk& chunk, const WorkShift& shift) const {
  chunk.lines.clear();
  chunk.pieces.clear();
  chunk.prints.clear();
  chunk.tokens.clear();
  chunk.token_ends.clear();
  chunk.copy.clear();
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
        if (!parser.index_unchecked_utf8(line, number_tokens, *layers, copied)) return false;
        const std::vector<PiecePlace>& pieces = parser.indexed_pieces();
        const std::vector<std::uint32_t>& prints = parser.indexed_fingerprints();
        const std::size_t first_piece = chunk.pieces.size();
        const std::size_t first_print = chunk.prints.size();
        chunk.pieces.insert(chunk.pieces.end(), pieces.begin(), pieces.end());
        chunk.prints.insert(chunk.prints.end(), prints.begin(), prints.end());
        const std::uint64_t length =
            copied ? copy_pieces(chunk, parser, line, first_piece, first_print,
                                 parser.indexed_pieces_per_occurrence(), !number_tokens)
                   : raw.size();
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
  if (copy_ != nullptr && i + 1 == chunk.lines.size() && !chunk.copy.empty()) {
    const iovec copied{chunk.copy.data(), chunk.copy.size()};
    copy_->append({&copied, 1});
  }
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
