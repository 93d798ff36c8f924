// Indexing the lines of a chunk, and adding them to the index in file order.
#include "converter/reading/index_lines.h"

#include <string_view>

#include "converter/reading/reread_pieces.h"
#include "converter/tokens/token_marks.h"
#include "support/failure.h"

namespace ondravane {

namespace {

// Notes the pieces read again of the places of `line` from `first_place` on
// for the copy, which holds them one after another, and moves the places to
// where the copy holds them; returns the bytes the line takes in the copy.
std::uint64_t note_copied_pieces(IndexChunk& chunk, std::string_view line, std::size_t first_place,
                                 bool token_text_kept) {
  std::uint64_t length = 0;
  for (std::size_t k = first_place; k < chunk.places.size(); ++k) {
    for_each_reread_piece(chunk.places[k], token_text_kept, [&](std::uint32_t& offset, std::uint32_t size) {
      char* const piece = const_cast<char*>(line.data()) + offset;
      iovec* const last = chunk.spilled.empty() ? nullptr : &chunk.spilled.back();
      if (last != nullptr && static_cast<char*>(last->iov_base) + last->iov_len == piece) {
        last->iov_len += size;
      } else {
        chunk.spilled.push_back(iovec{piece, size});
      }
      offset = static_cast<std::uint32_t>(length);
      length += size;
    });
  }
  return length;
}

}  // namespace

void IndexLines::operator()(IndexChunk& chunk, const std::atomic<bool>& stopping) const {
  chunk.lines.clear();
  chunk.places.clear();
  chunk.tokens.clear();
  chunk.token_ends.clear();
  chunk.spilled.clear();
  chunk.taken_places = 0;
  std::string token;
  work_lines(
      chunk, stopping,
      [&](std::string_view raw, std::string_view line) {
        // Places are 32-bit offsets within a line.
        if (line.size() >= OccurrencePlace::kNoLayer) {
          fail("a line longer than 4 GiB cannot be converted");
        }
        LineParser& parser = chunk.parser;
        if (!parser.index_unchecked_utf8(line, number_tokens)) return false;
        const std::vector<OccurrencePlace>& places = parser.indexed_places();
        const std::size_t first_place = chunk.places.size();
        chunk.places.insert(chunk.places.end(), places.begin(), places.end());
        const std::uint64_t length =
            copied ? note_copied_pieces(chunk, line, first_place, number_tokens) : raw.size();
        chunk.lines.push_back(IndexedLine{length, parser.indexed_linex_index(),
                                          static_cast<std::uint32_t>(places.size())});
        if (number_tokens) {
          for (std::size_t i = 0; i < places.size(); ++i) {
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
  for (std::uint32_t k = 0; k < line.occurrences; ++k) {
    const std::size_t place = chunk.taken_places++;
    index_.values_at.push_back(chunk.places[place].values);
    index_.fingerprints.push_back(chunk.places[place].fingerprint);
    if (index_.numbered) {
      const std::size_t begin = place == 0 ? 0 : chunk.token_ends[place - 1];
      const std::string_view token(chunk.tokens.data() + begin, chunk.token_ends[place] - begin);
      index_.token_numbers.push_back(index_.tokens.number_of(token));
    } else {
      index_.tokens_at.push_back(chunk.places[place].token);
    }
  }
}

}  // namespace ondravane
