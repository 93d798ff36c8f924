// Reading one occurrence again, and ending the second reading's output.
#include "converter/reading/second_reading.h"

#include "converter/input/input_file.h"
#include "converter/tokens/token_marks.h"

namespace ondravane {

bool OccurrenceReader::read(const CorpusIndex& index, std::uint64_t occurrence,
                            std::uint64_t line_offset, const IndexedLine& shape,
                            std::string_view& token, std::span<const double>& values) {
  const auto read_values = [&](std::string_view piece, std::size_t& used) {
    return parser_.read_values(piece, 0, values_, used);
  };
  if (!read_piece(pieces_, line_offset, shape.length, index.values_at[occurrence], values_guess_,
                  read_values)) {
    return false;
  }
  values = values_;
  if (index.numbered) {
    token = index.tokens.text(index.token_numbers[occurrence]);
    return true;
  }
  const auto read_token = [&](std::string_view piece, std::size_t& used) {
    return parser_.read_token(piece, 0, token_, used);
  };
  if (!read_piece(pieces_, line_offset, shape.length, index.tokens_at[occurrence], token_guess_,
                  read_token)) {
    return false;
  }
  remove_token_marks(token_);
  token = token_;
  return true;
}

void IndexedOutput::fail_at(ChunkStop stop) {
  if (stop == ChunkStop::kMissingLayer) {
    if (!bar_) fail_missing_layer();
    writer_.fail_missing_layer();
  }
  fail_input_changed();
}

void IndexedOutput::finish() {
  if (!bar_) fail_input_changed();  // the index promised a survivor
  bar_->finish_and_clear();
  writer_.flush();
}

}  // namespace ondravane
