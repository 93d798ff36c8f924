// The token frequency filter: drops rare tokens and thins frequent ones with
// a seeded, repeatable random test per occurrence.
#pragma once

#include <cstdint>

#include "converter/index/corpus_index.h"
#include "support/chunked_array.h"
#include "support/float_eval.h"

namespace ondravane {

// The filter's selection over an index with token numbers: one bit per
// occurrence in file order, set for a survivor.
struct Selection {
  ChunkedBits kept;
  std::uint64_t survivors = 0;
};
Selection select_occurrences(const CorpusIndex& index, std::int64_t min, std::int64_t keep,
                             std::uint64_t seed);

}  // namespace ondravane
