// Reading one occurrence again, and ending the second reading's output.
#include "converter/reading/second_reading.h"

#include <algorithm>

#include "converter/input/input_file.h"
#include "converter/reading/copied_values.h"
#include "converter/tokens/token_marks.h"
#include "converter/vectors/combine_layers.h"
#include "converter/vectors/unwritable_occurrence.h"
#include "support/fingerprint.h"

namespace ondravane {

OccurrenceReader::OccurrenceReader(int fd, const VectorRecipe& recipe)
    : pieces_(fd),
      recipe_(&recipe),
      layers_(recipe.layers.count()),
      layer_views_(recipe.layers.count()),
      layer_guesses_(recipe.layers.count(), 4096) {}

OccurrenceReader::Read OccurrenceReader::read(const CorpusIndex& index, std::uint64_t occurrence,
                                              std::uint64_t line_offset, const IndexedLine& shape,
                                              std::string_view& token, std::span<const double>& vector) {
  // What is read again must be, byte for byte, what the first reading
  // fingerprinted: a same-size rewrite of the file would otherwise mix
  // versions in one line of output.
  read_close_pieces(index, occurrence, line_offset, shape);
  PiecePrints prints;
  const auto piece_read = [&](std::string_view piece, std::size_t used) {
    prints.add(fingerprint(piece.substr(0, used)));
    return true;
  };
  if (!index.numbered) {
    const auto read_token = [&](std::string_view piece, std::size_t& used) {
      return parser_.read_token(piece, 0, token_, used) && piece_read(piece, used);
    };
    if (!read_piece(pieces_, line_offset, shape.length, index.token_at(occurrence), token_guess_, read_token)) {
      return Read::kChanged;
    }
  }
  bool missing = false;
  text_made_ = false;
  for (std::size_t slot = 0; slot < layers_.size(); ++slot) {
    const std::uint32_t place = index.layer_at(occurrence, slot);
    if (place == PiecePlace::kMissing) {
      missing = true;
      layers_[slot].clear();
      continue;
    }
    const auto read_values = [&](std::string_view piece, std::size_t& used) {
      if (index.copied && holds_copied_numbers(piece)) {
        text_made_ = false;
        return read_copied_numbers(piece, layers_[slot], used) && piece_read(piece, used);
      }
      const bool read = text_wanted_ ? parser_.read_values(piece, 0, layers_[slot], vector_text_, used)
                                     : parser_.read_values(piece, 0, layers_[slot], used);
      text_made_ = text_wanted_ && vector_text_.complete();
      return read && piece_read(piece, used);
    };
    if (!read_piece(pieces_, line_offset, shape.length, place, layer_guesses_[slot], read_values)) {
      return Read::kChanged;
    }
  }
  if (prints.value() != index.fingerprints[occurrence]) return Read::kChanged;
  if (index.numbered) {
    token = index.tokens.text(index.token_numbers[occurrence]);
  } else {
    remove_token_marks(token_);
    token = token_;
  }
  for (std::size_t slot = 0; slot < layers_.size(); ++slot) layer_views_[slot] = layers_[slot];
  if (missing) return Read::kMissingLayer;
  if (!recipe_->combines()) {
    vector = layers_.front();
    return Read::kRead;
  }
  if (!combine_layers(recipe_->combine, layer_views_, combined_)) return Read::kLengthsDiffer;
  vector = combined_;
  return Read::kRead;
}

void OccurrenceReader::read_close_pieces(const CorpusIndex& index, std::uint64_t occurrence,
                                         std::uint64_t line_offset, const IndexedLine& shape) {
  // A read call costs about as much as copying a few kilobytes, and the
  // token and the first layer's list stand a few bytes apart in every dump,
  // as do layers chosen together that are next to one another.
  constexpr std::uint64_t kMostBytesBetween = 4096;
  std::uint64_t start = UINT64_MAX;
  std::uint64_t end = 0;
  std::uint64_t wanted = 0;
  std::size_t count = 0;
  const auto add = [&](std::uint32_t place, std::uint64_t guess) {
    if (place == PiecePlace::kMissing || place >= shape.length) return;
    start = std::min<std::uint64_t>(start, place);
    end = std::max(end, std::min<std::uint64_t>(place + guess, shape.length));
    wanted += guess;
    ++count;
  };
  if (!index.numbered) add(index.token_at(occurrence), token_guess_);
  for (std::size_t slot = 0; slot < layers_.size(); ++slot) add(index.layer_at(occurrence, slot), layer_guesses_[slot]);
  if (count < 2 || end - start > wanted + kMostBytesBetween) return;
  // Each piece is then taken from these bytes, as read_piece asks for it.
  // When the file ends before them (it changed), nothing is held, and each
  // piece is read by itself and found changed as before.
  static_cast<void>(pieces_.read(line_offset + start, end - start));
}

void OccurrenceReader::release_beyond(std::size_t limit) {
  pieces_.release_beyond(limit);
  for (std::vector<double>& layer : layers_) {
    if (layer.capacity() * sizeof(double) > limit) layer = {};
  }
  if (combined_.capacity() * sizeof(double) > limit) combined_ = {};
  vector_text_.release_beyond(limit);
  if (token_.capacity() > limit) token_ = {};
}

std::uint64_t occurrence_span(const CorpusIndex& index, std::uint64_t occurrence, std::uint32_t in_line,
                              const IndexedLine& shape) {
  // An occurrence's pieces stand within its feature, which ends before the
  // next feature's pieces; its first piece is where it starts at the
  // earliest.
  const auto start_of = [&](std::uint64_t k) {
    std::uint32_t start = index.numbered ? PiecePlace::kMissing : index.token_at(k);
    for (std::size_t slot = 0; slot < index.layers_read; ++slot) start = std::min(start, index.layer_at(k, slot));
    return start;
  };
  const std::uint64_t start = start_of(occurrence);
  for (std::uint64_t next = occurrence + 1, k = in_line + 1; k < shape.occurrences; ++next, ++k) {
    const std::uint64_t next_start = start_of(next);
    if (next_start != PiecePlace::kMissing && next_start > start) return next_start - start;
  }
  return shape.length - start;
}

void BlankIdentifiers::note(std::string_view token, const WrittenOccurrence* occurrence) {
  if (token.find(' ') == std::string_view::npos) return;
  if (count++ != 0) return;
  first.assign(token);
  if (occurrence != nullptr) {
    first += ':';
    first += std::to_string(occurrence->sentence);
    first += ':';
    first += std::to_string(occurrence->position);
  }
}

void BlankIdentifiers::add(const BlankIdentifiers& later) {
  if (count == 0) first = later.first;
  count += later.count;
}

void IndexedOutput::line(const WrittenOccurrence& occurrence, std::span<const double> vector,
                         std::optional<std::string_view> vector_text) {
  if (!bar_) start(vector.size());
  if (shape_.per_type) {
    add_to_type(occurrence, vector);
  } else {
    if (shape_.format == VectorFormat::kBinary) {
      if (vector.size() != dimension_) {
        writer_.flush();
        fail_binary_length(occurrence, vector.size(), dimension_);
      }
      blanks_.note(occurrence.token, &occurrence);
    }
    if (vector_text && shape_.format == VectorFormat::kText) {
      writer_.line(occurrence.token, occurrence.sentence, occurrence.position, *vector_text);
    } else {
      writer_.line(occurrence.token, occurrence.sentence, occurrence.position, vector);
    }
  }
  bar_->inc(1);
}

void IndexedOutput::add_to_type(const WrittenOccurrence& occurrence, std::span<const double> vector) {
  const std::size_t* length = means_.length_of(occurrence.type);
  if (length != nullptr && *length != vector.size()) fail_type_length(occurrence, vector.size(), *length);
  // A new type in the binary format must have the header's length too.
  if (length == nullptr && shape_.format == VectorFormat::kBinary && vector.size() != dimension_) {
    fail_binary_length(occurrence, vector.size(), dimension_);
  }
  means_.add(occurrence.type, vector);
}

bool IndexedOutput::formatted(const FormattedChunk& chunk) {
  if (chunk.written == 0) return true;
  if (bar_ && !shape_.per_type && shape_.format == VectorFormat::kBinary && chunk.first_dimension != dimension_) {
    return false;
  }
  if (!bar_) start(chunk.first_dimension);
  if (shape_.per_type) {
    std::size_t at = 0;
    for (const FormattedChunk::Kept& kept : chunk.kept) {
      const WrittenOccurrence occurrence{kept.line, types_->text(kept.type), kept.sentence, kept.position, kept.type};
      add_to_type(occurrence, std::span<const double>(chunk.vectors).subspan(at, kept.length));
      at += kept.length;
    }
  } else {
    writer_.formatted(chunk.text.bytes());
    blanks_.add(chunk.blanks);
  }
  for (std::uint64_t i = 0; i < chunk.written; ++i) bar_->inc(1);
  return true;
}

void IndexedOutput::fail_at(ChunkStop stop, const CorpusIndex& index, const IndexedChunk& chunk,
                            OccurrenceReader& reader) {
  const VectorRecipe& recipe = reader.recipe();
  if (stop == ChunkStop::kChanged) fail_input_changed();
  if (stop == ChunkStop::kMissingLayer && !recipe.layers.by_index()) {
    if (!bar_) ondravane::fail_missing_layer();
    writer_.fail_missing_layer();
  }
  // Read again to be named, and to fail as changed if it is no longer the
  // occurrence indexed.
  const IndexedLine& shape = index.lines[chunk.line];
  WrittenOccurrence occurrence{chunk.line + 1, {}, shape.linex_index, chunk.position, 0};
  std::span<const double> vector;
  const OccurrenceReader::Read read = reader.read(index, chunk.occurrence, chunk.offset, shape, occurrence.token, vector);
  if (read == OccurrenceReader::Read::kMissingLayer) {
    for (std::size_t slot = 0; slot < recipe.layers.count(); ++slot) {
      if (index.layer_at(chunk.occurrence, slot) == PiecePlace::kMissing) {
        fail_missing_layer(occurrence, recipe, recipe.layers.indices[slot]);
      }
    }
  }
  if (read == OccurrenceReader::Read::kLengthsDiffer) fail_lengths_differ(occurrence, recipe, reader.layers());
  fail_input_changed();
}

void IndexedOutput::fail_missing_layer(const WrittenOccurrence& occurrence, const VectorRecipe& recipe,
                                       std::int64_t missing) {
  if (!recipe.layers.by_index()) {
    if (!bar_) ondravane::fail_missing_layer();
    writer_.fail_missing_layer();
  }
  writer_.flush();
  fail_chosen_layer_missing(occurrence, missing);
}

void IndexedOutput::fail_lengths_differ(const WrittenOccurrence& occurrence, const VectorRecipe& recipe,
                                        std::span<const std::span<const double>> layers) {
  writer_.flush();
  fail_layer_lengths_differ(occurrence, recipe, layers);
}

void IndexedOutput::finish() {
  if (!bar_) fail_input_changed();  // the index promised a survivor
  bar_->finish_and_clear();
  if (shape_.per_type) {
    writer_.header(means_.types(), dimension_);
    std::vector<double> mean;
    for (std::size_t slot = 0; slot < means_.types(); ++slot) {
      const std::string& token = types_->text(means_.type(slot));
      if (shape_.format == VectorFormat::kBinary) blanks_.note(token, nullptr);
      means_.mean(slot, mean);
      writer_.entry(token, mean);
    }
  }
  writer_.finish();
}

}  // namespace ondravane
