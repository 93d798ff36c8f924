// The seeded generator behind the filter's thinning: PCG32 seed expansion
// into a ChaCha8 key, four-block refills, 64-bit and [0, 1) double outputs.
// The whole bit sequence is fixed by the seed, on every platform, so that a
// filtered corpus is repeatable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "support/float_eval.h"

namespace ondravane {

using ChaChaBlock = std::array<std::uint32_t, 16>;

// The ChaCha block function: `double_rounds` column-and-diagonal round pairs
// over `input`, then the input added back word by word. The generator uses 4
// (ChaCha8); 10 gives the standard 20-round ChaCha.
ChaChaBlock chacha_block(const ChaChaBlock& input, int double_rounds);

class BlockRng {
 public:
  static constexpr std::size_t kBlockWords = 16;
  static constexpr std::size_t kBlocksPerRefill = 4;
  static constexpr std::size_t kResultWords = kBlockWords * kBlocksPerRefill;

  // A generator whose key is eight PCG32 outputs from `seed`; nothing is
  // computed until the first draw.
  static BlockRng seed_from_u64(std::uint64_t seed);

  // Two buffer words, the lower-numbered one as the low half.
  std::uint64_t next_u64();
  // The top 53 bits of next_u64() scaled into [0, 1).
  double next_f64() { return unit_f64(next_u64()); }

  // One seed-expansion step. The state is advanced first and the output
  // taken from the advanced state.
  static std::uint32_t pcg32(std::uint64_t& state);
  // (v >> 11) * 2^-53: a multiple of 2^-53 from 0 to 1 - 2^-53, exactly.
  static double unit_f64(std::uint64_t v) { return static_cast<double>(v >> 11) * 0x1p-53; }

  // Computes the four blocks from the block counter on into the buffer,
  // advances the counter by 4 and sets the read position to `index`.
  void generate_and_set(std::size_t index);

  // The ChaCha input block for block number `block` under this key.
  ChaChaBlock input_block(std::uint64_t block) const;

  const std::array<std::uint32_t, kResultWords>& results() const { return results_; }
  std::size_t index() const { return index_; }
  std::uint64_t block_counter() const { return block_counter_; }

 private:
  BlockRng() = default;

  std::array<std::uint32_t, kResultWords> results_{};
  std::size_t index_ = kResultWords;  // kResultWords: buffer used up
  std::array<std::uint32_t, 8> key_{};
  std::uint64_t block_counter_ = 0;
  std::uint64_t stream_ = 0;  // the nonce; never changed
};

}  // namespace ondravane
