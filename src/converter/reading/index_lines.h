// The first reading's index, line by line: what a chunk's work keeps of each
// accepted line (on any thread), and how the calling thread adds it to the
// index in file order, numbering the tokens when the filter needs them and,
// for an input read once, writing the pieces read again to its copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter/index/corpus_index.h"
#include "converter/line/layer_choice.h"
#include "converter/line/occurrence_place.h"
#include "converter/reading/first_reading.h"
#include "converter/reading/spill.h"
#include "converter/workers/work_shift.h"

namespace ondravane {

struct IndexChunk : LineChunk {
  // Of the last pass, for the lines it accepted, in order.
  std::vector<IndexedLine> lines;
  std::vector<PiecePlace> pieces;       // the pieces read again, as many an occurrence
  std::vector<std::uint32_t> prints;    // their fingerprint, one an occurrence
  std::string tokens;                   // when numbering tokens: texts, marks removed
  std::vector<std::size_t> token_ends;  // where each text ends in `tokens`
  // For a copy: the pieces read again, in file order, as the copy holds
  // them (reading/copied_values.h), and room to convert a list in.
  std::string copy;
  std::vector<double> values;
  std::size_t taken_occurrences = 0;    // of the pass, by the calling thread

  std::size_t result_bytes() const {
    return lines.size() * sizeof(IndexedLine) + pieces.size() * sizeof(PiecePlace) +
           prints.size() * sizeof(std::uint32_t) + tokens.size() + token_ends.size() * sizeof(std::size_t) +
           copy.size();
  }
  std::size_t held_bytes() const {
    return LineChunk::held_bytes() + lines.capacity() * sizeof(IndexedLine) +
           pieces.capacity() * sizeof(PiecePlace) + prints.capacity() * sizeof(std::uint32_t) +
           tokens.capacity() + token_ends.capacity() * sizeof(std::size_t) + copy.capacity() +
           values.capacity() * sizeof(double);
  }
};

// The work on a chunk: each line checked in full, its pieces kept; with
// `copied`, the pieces read again are added to the chunk's copy, and the
// places, lengths and fingerprints kept are those of the line as the copy
// holds it.
struct IndexLines {
  bool number_tokens = false;
  bool copied = false;
  const LayerChoice* layers = &kFirstLayer;
  void operator()(IndexChunk& chunk, const WorkShift& shift) const;
};

// The calling thread's side; `copy`, when given, receives the pieces.
class IndexBuilder {
 public:
  IndexBuilder(CorpusIndex& index, bool number_tokens, const LayerChoice& layers, Spill* copy = nullptr)
      : index_(index), copy_(copy) {
    index_.numbered = number_tokens;
    index_.layers_read = static_cast<std::uint32_t>(layers.count());
    index_.copied = copy != nullptr;
  }
  // Adds the i-th line of the chunk's last pass.
  void take(IndexChunk& chunk, std::size_t i);

 private:
  CorpusIndex& index_;
  Spill* copy_;
};

}  // namespace ondravane
