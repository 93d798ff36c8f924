// The token frequency filter: drops rare tokens and thins frequent ones with
// a seeded, repeatable random test per occurrence.
#pragma once

#include <cstdint>

#include "converter/index/corpus_index.h"
#include "converter/records.h"
#include "support/chunked_array.h"
#include "support/float_eval.h"

namespace ondravane {

// Returns a new list with one record per input record holding the surviving
// features, moved out of `activations`: the caller releases the input right
// afterwards, so copying the survivors would only cost time and memory.
ActivationList filter(ActivationList&& activations, std::int64_t min, std::int64_t keep,
                      std::uint64_t seed);

// The same selection over an index with token numbers: one bit per
// occurrence in file order, set for a survivor.
struct Selection {
  ChunkedBits kept;
  std::uint64_t survivors = 0;
};
Selection select_occurrences(const CorpusIndex& index, std::int64_t min, std::int64_t keep,
                             std::uint64_t seed);

}  // namespace ondravane
