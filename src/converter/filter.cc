// The token frequency filter over an index: the counting, the decisions and
// draws, the messages and bars of filter_stages.h.
#include "converter/filter.h"

#include <vector>

#include "converter/filter_stages.h"

namespace ondravane {

Selection select_occurrences(const CorpusIndex& index, std::int64_t min, std::int64_t keep,
                             std::uint64_t seed) {
  std::vector<std::int64_t> counts(index.tokens.size(), 0);
  Selection selection;
  std::uint64_t counted = 0;  // the first occurrence of the next record to count
  std::uint64_t decided = 0;
  run_filter_stages(
      index.lines.size(), min, keep, seed,
      [&](std::size_t i) {
        for (std::uint32_t k = 0; k < index.lines[i].occurrences; ++k) {
          ++counts[index.token_numbers[counted++]];
        }
      },
      [&](std::size_t i, const auto& decide) {
        for (std::uint32_t k = 0; k < index.lines[i].occurrences; ++k) {
          const bool kept = decide(counts[index.token_numbers[decided++]]);
          selection.kept.push_back(kept);
          selection.survivors += kept;
        }
      });
  return selection;
}

}  // namespace ondravane
