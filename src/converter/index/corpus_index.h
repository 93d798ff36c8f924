// What the first reading of a file keeps for the stages after it, instead
// of the records: where each line's occurrences stand, so that the second
// reading can go straight to what it writes. Plain data; its memory grows
// with the number of lines, occurrences and distinct tokens, never with the
// number of values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/chunked_array.h"
#include "converter/line/occurrence_place.h"
#include "converter/tokens/token_numbers.h"

namespace ondravane {

// One line as the first reading saw it; the second checks it is the same.
struct IndexedLine {
  // Bytes the second reading reads the line in: the line, terminator
  // included, or for an input read once the pieces its copy holds.
  std::uint64_t length = 0;
  std::uint32_t linex_index = 0;   // the sentence number
  std::uint32_t occurrences = 0;   // features in the line
};

// Every occurrence in file order, and of each what the second reading reads
// again: places_per_occurrence() offsets within its line (the pieces of
// line/occurrence_place.h: its token's string unless tokens are numbered,
// then the list of values of each layer it is made of, PiecePlace::kMissing
// for a layer it lacks), and the fingerprint of those pieces. With
// filtering, each occurrence's token number instead of its token's place;
// the table holds the texts with the marks already removed. 12 bytes an
// occurrence either way when one layer is read.
struct CorpusIndex {
  bool numbered = false;           // tokens are numbered (for the filter)
  std::uint32_t layers_read = 1;   // layer lists read again per occurrence
  bool copied = false;             // read again from a copy (reading/copied_values.h)
  ChunkedArray<IndexedLine> lines;
  ChunkedArray<std::uint32_t> places;
  ChunkedArray<std::uint32_t> fingerprints;
  ChunkedArray<std::uint32_t> token_numbers;  // with numbered tokens only
  TokenNumbers tokens;

  std::uint64_t occurrences() const { return fingerprints.size(); }
  std::size_t places_per_occurrence() const { return layers_read + (numbered ? 0 : 1); }
  // The place of the token (when it is read again) and of the layer read
  // `slot`-th of occurrence `occurrence`.
  std::uint32_t token_at(std::uint64_t occurrence) const {
    return places[static_cast<std::size_t>(occurrence) * places_per_occurrence()];
  }
  std::uint32_t layer_at(std::uint64_t occurrence, std::size_t slot) const {
    return places[static_cast<std::size_t>(occurrence) * places_per_occurrence() + (numbered ? 0 : 1) + slot];
  }
  // Whether the occurrence has every layer it is read again for.
  bool has_layers(std::uint64_t occurrence) const {
    for (std::size_t slot = 0; slot < layers_read; ++slot) {
      if (layer_at(occurrence, slot) == PiecePlace::kMissing) return false;
    }
    return true;
  }
};

}  // namespace ondravane
