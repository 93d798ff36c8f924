// BlockRng: seed expansion, the ChaCha8 block function and the buffer of
// four blocks.
#include "random/block_rng.h"

#include <algorithm>
#include <bit>

namespace ondravane {

namespace {

constexpr std::uint64_t kPcgMultiplier = 6364136223846793005u;
constexpr std::uint64_t kPcgIncrement = 11634580027462260723u;

// "expand 32-byte k" as four little-endian words.
constexpr std::array<std::uint32_t, 4> kChaChaConstants = {0x61707865, 0x3320646e, 0x79622d32,
                                                           0x6b206574};

inline void quarter_round(ChaChaBlock& x, int a, int b, int c, int d) {
  x[a] += x[b];
  x[d] = std::rotl(x[d] ^ x[a], 16);
  x[c] += x[d];
  x[b] = std::rotl(x[b] ^ x[c], 12);
  x[a] += x[b];
  x[d] = std::rotl(x[d] ^ x[a], 8);
  x[c] += x[d];
  x[b] = std::rotl(x[b] ^ x[c], 7);
}

}  // namespace

ChaChaBlock chacha_block(const ChaChaBlock& input, int double_rounds) {
  ChaChaBlock x = input;
  for (int i = 0; i < double_rounds; ++i) {
    quarter_round(x, 0, 4, 8, 12);
    quarter_round(x, 1, 5, 9, 13);
    quarter_round(x, 2, 6, 10, 14);
    quarter_round(x, 3, 7, 11, 15);
    quarter_round(x, 0, 5, 10, 15);
    quarter_round(x, 1, 6, 11, 12);
    quarter_round(x, 2, 7, 8, 13);
    quarter_round(x, 3, 4, 9, 14);
  }
  for (std::size_t i = 0; i < x.size(); ++i) x[i] += input[i];
  return x;
}

std::uint32_t BlockRng::pcg32(std::uint64_t& state) {
  state = state * kPcgMultiplier + kPcgIncrement;
  std::uint32_t xorshifted = static_cast<std::uint32_t>(((state >> 18) ^ state) >> 27);
  int rotation = static_cast<int>(state >> 59);
  return std::rotr(xorshifted, rotation);
}

BlockRng BlockRng::seed_from_u64(std::uint64_t seed) {
  BlockRng rng;
  std::uint64_t state = seed;
  // Writing each output as four little-endian bytes and reading the 32 bytes
  // back as little-endian words gives the outputs themselves, in order.
  for (std::uint32_t& word : rng.key_) word = pcg32(state);
  return rng;
}

ChaChaBlock BlockRng::input_block(std::uint64_t block) const {
  ChaChaBlock input;
  std::copy(kChaChaConstants.begin(), kChaChaConstants.end(), input.begin());
  std::copy(key_.begin(), key_.end(), input.begin() + 4);
  input[12] = static_cast<std::uint32_t>(block);
  input[13] = static_cast<std::uint32_t>(block >> 32);
  input[14] = static_cast<std::uint32_t>(stream_);
  input[15] = static_cast<std::uint32_t>(stream_ >> 32);
  return input;
}

void BlockRng::generate_and_set(std::size_t index) {
  for (std::size_t i = 0; i < kBlocksPerRefill; ++i) {
    ChaChaBlock output = chacha_block(input_block(block_counter_ + i), 4);
    std::copy(output.begin(), output.end(), results_.begin() + i * kBlockWords);
  }
  block_counter_ += kBlocksPerRefill;
  index_ = index;
}

namespace {

inline std::uint64_t join_words(std::uint32_t low, std::uint32_t high) {
  return low | (std::uint64_t{high} << 32);
}

}  // namespace

std::uint64_t BlockRng::next_u64() {
  // The buffer starts used up and every read takes two words, so the index
  // is always even: either a whole pair is left or none is.
  if (index_ < kResultWords - 1) {
    std::uint64_t value = join_words(results_[index_], results_[index_ + 1]);
    index_ += 2;
    return value;
  }
  generate_and_set(2);
  return join_words(results_[0], results_[1]);
}

}  // namespace ondravane
