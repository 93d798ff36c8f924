// The token frequency filter over records in memory and over an index: the
// same counting, the same decisions and draws, the same messages and bars.
#include "converter/filter.h"

#include <utility>
#include <vector>

#include "converter/tokens/token_counts.h"
#include "progress/progress_bar.h"
#include "random/block_rng.h"
#include "support/console.h"

namespace ondravane {

namespace {

// The decision for one occurrence of a token counted `count` times. Only an
// occurrence that gets as far as the random test draws, so `min` and `keep`
// decide which later occurrences meet which draw.
bool survives(std::int64_t count, std::int64_t min, std::int64_t keep, double keep_as_double,
              BlockRng& rng) {
  if (count < min) return false;
  if (keep < 0) return true;
  if (keep >= count) return true;
  return rng.next_f64() < keep_as_double / static_cast<double>(count);
}

// The two stages of every filter, with their messages and bars over
// records: `count(i)` counts the tokens of record i, then `select(i, decide)`
// decides its occurrences in order with `decide(count)`, which draws from the
// one generator in that order.
template <typename Count, typename Select>
void run_filter_stages(std::size_t records, std::int64_t min, std::int64_t keep, std::uint64_t seed,
                       Count&& count, Select&& select) {
  BlockRng rng = BlockRng::seed_from_u64(seed);
  print_line("Start Counting!\n");
  {
    ProgressBar counting(records);
    for (std::size_t i = 0; i < records; ++i) {
      count(i);
      counting.inc(1);
    }
    counting.finish_and_clear();
  }

  print_line("Start Filtering based on then counted value!\n");
  const double keep_as_double = static_cast<double>(keep);
  const auto decide = [&](std::int64_t count) {
    return survives(count, min, keep, keep_as_double, rng);
  };
  ProgressBar filtering(records);
  for (std::size_t i = 0; i < records; ++i) {
    select(i, decide);
    filtering.inc(1);
  }
  filtering.finish_and_clear();
}

// Both stages over `activations`, moving the survivors out.
ActivationList filter_records(ActivationList& activations, std::int64_t min, std::int64_t keep,
                              std::uint64_t seed) {
  TokenCounts counts;
  ActivationList filtered;
  // Decisions are made first so that each record's features get exactly the
  // room they need: the output is held next to the whole input.
  std::vector<bool> decisions;
  run_filter_stages(
      activations.size(), min, keep, seed,
      [&](std::size_t i) {
        for (const Feature& feature : activations[i].features) counts.add(feature.token);
      },
      [&](std::size_t i, const auto& decide) {
        if (i == 0) filtered.reserve(activations.size());
        auto& activation = activations[i];
        decisions.clear();
        std::size_t survivors = 0;
        for (const Feature& feature : activation.features) {
          const bool kept = decide(counts.count(feature.token));
          decisions.push_back(kept);
          survivors += kept;
        }
        Activation& out = filtered.emplace_back();
        out.linex_index = activation.linex_index;
        out.features.reserve(survivors);
        for (std::size_t k = 0; k < decisions.size(); ++k) {
          if (decisions[k]) out.features.push_back(std::move(activation.features[k]));
        }
      });
  return filtered;
}

}  // namespace

ActivationList filter(ActivationList&& activations, std::int64_t min, std::int64_t keep,
                      std::uint64_t seed) {
  return filter_records(activations, min, keep, seed);
}

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
