// The stages every run of the token frequency filter goes through, with
// their messages and bars: counting, then deciding each occurrence in file
// order with draws from one seeded generator. Whatever the occurrences are
// held in, the same stages give the same decisions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "progress/progress_bar.h"
#include "random/block_rng.h"
#include "support/console.h"
#include "support/float_eval.h"

namespace ondravane {

// The decision for one occurrence of a token counted `count` times. Only an
// occurrence that gets as far as the random test draws, so `min` and `keep`
// decide which later occurrences meet which draw.
inline bool survives(std::int64_t count, std::int64_t min, std::int64_t keep, double keep_as_double,
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

}  // namespace ondravane
