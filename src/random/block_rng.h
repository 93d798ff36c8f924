// The seeded generator behind the filter's thinning: PCG32 seed expansion
// into a ChaCha8 key, four-block refills, 64-bit and [0, 1) double outputs.
#pragma once

#include <array>
#include <cstdint>

namespace ondravane {

class BlockRng {
 public:
  static BlockRng seed_from_u64(std::uint64_t seed);

  std::uint64_t next_u64();
  double next_f64();
};

}  // namespace ondravane
