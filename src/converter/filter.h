// The token frequency filter: drops rare tokens and thins frequent ones with
// a seeded, repeatable random test per occurrence.
#pragma once

#include <cstdint>
#include <span>

#include "converter/chunked_array.h"
#include "converter/corpus_index.h"
#include "converter/records.h"
#include "support/float_eval.h"

namespace ondravane {

// Returns a new list with one record per input record holding copies of the
// surviving features. The input is not changed.
ActivationList filter(std::span<const Activation> activations, std::int64_t min, std::int64_t keep,
                      std::uint64_t seed);

// The same selection, moving the survivors out of `activations` instead of
// copying them; for a caller that releases the input right afterwards.
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
