// Reading one occurrence again, and ending the second reading's output.
#include "converter/reading/second_reading.h"

#include "converter/input/input_file.h"
#include "converter/tokens/token_marks.h"
#include "support/fingerprint.h"

namespace ondravane {

bool OccurrenceReader::read(const CorpusIndex& index, std::uint64_t occurrence,
                            std::uint64_t line_offset, const IndexedLine& shape,
                            std::string_view& token, std::span<const double>& values) {
  // What is read again must be, byte for byte, what the first reading
  // fingerprinted: a same-size rewrite of the file would otherwise mix
  // versions in one line of output.
  std::uint32_t values_print = 0;
  const auto read_values = [&](std::string_view piece, std::size_t& used) {
    if (!parser_.read_values(piece, 0, values_, used)) return false;
    values_print = fingerprint(piece.substr(0, used));
    return true;
  };
  if (!read_piece(pieces_, line_offset, shape.length, index.values_at[occurrence], values_guess_,
                  read_values)) {
    return false;
  }
  values = values_;
  const std::uint32_t expected = index.fingerprints[occurrence];
  if (index.numbered) {
    token = index.tokens.text(index.token_numbers[occurrence]);
    return values_print == expected;
  }
  std::uint32_t token_print = 0;
  const auto read_token = [&](std::string_view piece, std::size_t& used) {
    if (!parser_.read_token(piece, 0, token_, used)) return false;
    token_print = fingerprint(piece.substr(0, used));
    return true;
  };
  if (!read_piece(pieces_, line_offset, shape.length, index.tokens_at[occurrence], token_guess_,
                  read_token)) {
    return false;
  }
  if (combined_fingerprint(token_print, values_print) != expected) return false;
  remove_token_marks(token_);
  token = token_;
  return true;
}

void OccurrenceReader::release_beyond(std::size_t limit) {
  pieces_.release_beyond(limit);
  if (values_.capacity() * sizeof(double) > limit) values_ = {};
  if (token_.capacity() > limit) token_ = {};
}

std::uint64_t occurrence_span(const CorpusIndex& index, std::uint64_t occurrence, std::uint32_t in_line,
                              const IndexedLine& shape) {
  // An occurrence's token and layers stand within its feature, which ends
  // before the next feature's token and layers; its first place is where it
  // starts at the earliest.
  const auto start_of = [&](std::uint64_t k) {
    const std::uint32_t values = index.values_at[k];
    return index.numbered ? values : std::min(values, index.tokens_at[k]);
  };
  const std::uint64_t start = start_of(occurrence);
  for (std::uint64_t next = occurrence + 1, k = in_line + 1; k < shape.occurrences; ++next, ++k) {
    const std::uint64_t next_start = start_of(next);
    if (next_start != OccurrencePlace::kNoLayer && next_start > start) return next_start - start;
  }
  return shape.length - start;
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
  writer_.finish();
}

}  // namespace ondravane
