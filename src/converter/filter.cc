#include "converter/filter.h"

#include <utility>
#include <vector>

#include "converter/token_counts.h"
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

// Both passes over `activations` (a span of const records, or a list whose
// survivors may be moved out); `take` turns a surviving Feature into the
// output's own.
template <typename Records, typename Take>
ActivationList filter_records(Records& activations, std::int64_t min, std::int64_t keep,
                              std::uint64_t seed, Take take) {
  BlockRng rng = BlockRng::seed_from_u64(seed);
  TokenCounts counts;
  print_line("Start Counting!\n");
  {
    ProgressBar counting(activations.size());
    for (const Activation& activation : activations) {
      for (const Feature& feature : activation.features) counts.add(feature.token);
      counting.inc(1);
    }
    counting.finish_and_clear();
  }

  print_line("Start Filtering based on then counted value!\n");
  const double keep_as_double = static_cast<double>(keep);
  ProgressBar filtering(activations.size());
  ActivationList filtered;
  filtered.reserve(activations.size());
  // Decisions are made first so that each record's features get exactly the
  // room they need: the output is held next to the whole input.
  std::vector<bool> decisions;
  for (auto& activation : activations) {
    decisions.clear();
    std::size_t survivors = 0;
    for (const Feature& feature : activation.features) {
      bool kept = survives(counts.count(feature.token), min, keep, keep_as_double, rng);
      decisions.push_back(kept);
      survivors += kept;
    }
    Activation& out = filtered.emplace_back();
    out.linex_index = activation.linex_index;
    out.features.reserve(survivors);
    for (std::size_t i = 0; i < decisions.size(); ++i) {
      if (decisions[i]) out.features.push_back(take(activation.features[i]));
    }
    filtering.inc(1);
  }
  filtering.finish_and_clear();
  return filtered;
}

}  // namespace

ActivationList filter(std::span<const Activation> activations, std::int64_t min, std::int64_t keep,
                      std::uint64_t seed) {
  return filter_records(activations, min, keep, seed, [](const Feature& feature) { return feature; });
}

ActivationList filter(ActivationList&& activations, std::int64_t min, std::int64_t keep,
                      std::uint64_t seed) {
  return filter_records(activations, min, keep, seed,
                        [](Feature& feature) { return std::move(feature); });
}

}  // namespace ondravane
