// The first reading's index, line by line: what a chunk's work keeps of each
// accepted line (on any thread), and how the calling thread adds it to the
// index in file order, numbering the tokens when the filter needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter/index/corpus_index.h"
#include "converter/line/layer_choice.h"
#include "converter/line/occurrence_place.h"
#include "converter/reading/first_reading.h"
#include "converter/workers/work_shift.h"

namespace ondravane {

struct IndexChunk : LineChunk {
  // Of the last pass, for the lines it accepted, in order.
  std::vector<IndexedLine> lines;
  std::vector<PiecePlace> pieces;       // the pieces read again, as many an occurrence
  std::vector<std::uint32_t> prints;    // their fingerprint, one an occurrence
  std::string tokens;                   // when numbering tokens: texts, marks removed
  std::vector<std::size_t> token_ends;  // where each text ends in `tokens`
  std::size_t taken_occurrences = 0;    // of the pass, by the calling thread

  std::size_t result_bytes() const {
    return lines.size() * sizeof(IndexedLine) + pieces.size() * sizeof(PiecePlace) +
           prints.size() * sizeof(std::uint32_t) + tokens.size() + token_ends.size() * sizeof(std::size_t);
  }
  std::size_t held_bytes() const {
    return LineChunk::held_bytes() + lines.capacity() * sizeof(IndexedLine) +
           pieces.capacity() * sizeof(PiecePlace) + prints.capacity() * sizeof(std::uint32_t) +
           tokens.capacity() + token_ends.capacity() * sizeof(std::size_t);
  }
};

// The work on a chunk: each line checked in full, its pieces kept.
struct IndexLines {
  bool number_tokens = false;
  const LayerChoice* layers = &kFirstLayer;
  void operator()(IndexChunk& chunk, const WorkShift& shift) const;
};

// The calling thread's side.
class IndexBuilder {
 public:
  IndexBuilder(CorpusIndex& index, bool number_tokens, const LayerChoice& layers) : index_(index) {
    index_.numbered = number_tokens;
    index_.layers_read = static_cast<std::uint32_t>(layers.count());
  }
  // Adds the i-th line of the chunk's last pass.
  void take(IndexChunk& chunk, std::size_t i);

 private:
  CorpusIndex& index_;
};

}  // namespace ondravane
