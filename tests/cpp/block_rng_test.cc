// The generator against its reference values, refills and the carry of the
// block counter.
#include "random/block_rng.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace ondravane {
namespace {

struct SeedReference {
  std::uint64_t seed;
  std::array<std::uint64_t, 3> u64s;
  std::array<double, 6> f64s;
};

class ReferenceTest : public testing::TestWithParam<SeedReference> {};

TEST_P(ReferenceTest, FirstU64Values) {
  BlockRng rng = BlockRng::seed_from_u64(GetParam().seed);
  for (std::uint64_t expected : GetParam().u64s) EXPECT_EQ(rng.next_u64(), expected);
}

TEST_P(ReferenceTest, FirstF64ValuesOfAFreshGenerator) {
  BlockRng rng = BlockRng::seed_from_u64(GetParam().seed);
  for (double expected : GetParam().f64s) EXPECT_EQ(rng.next_f64(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, ReferenceTest,
    testing::Values(
        SeedReference{0,
                      {0xb585f767a79a3b6c, 0x7746a55fbad8c037, 0xb2fb0d3281e2a6e6},
                      {0.7090754154265618, 0.46592172228961015, 0.6991432426747317, 0.0601711656341718,
                       0.8791107179586186, 0.5495312687894465}},
        SeedReference{42,
                      {0xae90bfb5395d5ba1, 0xf3453fc625799188, 0x6d71b708c5b6538c},
                      {0.6818961923066714, 0.950275407672484, 0.4275164028565197, 0.6273605211973403,
                       0.2885938791411826, 0.14995887029032495}}));

TEST(BlockRng, SecondRefillStartsAtBlockFour) {
  BlockRng rng = BlockRng::seed_from_u64(0);
  EXPECT_EQ(rng.index(), 64u);
  EXPECT_EQ(rng.block_counter(), 0u);
  std::vector<std::uint64_t> values;
  for (int i = 0; i < 33; ++i) {
    values.push_back(rng.next_u64());
    if (i == 0) {
      EXPECT_EQ(rng.index(), 2u);
      EXPECT_EQ(rng.block_counter(), 4u);
    }
  }
  EXPECT_EQ(values[31], 0x57a1550c68ac854eu);
  EXPECT_EQ(values[32], 0x66bbd30ed39cb892u);
  EXPECT_EQ(rng.index(), 2u);
  EXPECT_EQ(rng.block_counter(), 8u);
}

TEST(BlockRng, EqualSeedsGiveEqualSequences) {
  for (std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{42}, UINT64_MAX}) {
    BlockRng a = BlockRng::seed_from_u64(seed);
    BlockRng b = BlockRng::seed_from_u64(seed);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a.next_u64(), b.next_u64()) << "seed " << seed << " draw " << i;
  }
}

TEST(BlockRng, LargestSeedIsAnOrdinarySeed) {
  BlockRng largest = BlockRng::seed_from_u64(UINT64_MAX);
  BlockRng zero = BlockRng::seed_from_u64(0);
  int equal = 0;
  for (int i = 0; i < 70; ++i) {
    double value = largest.next_f64();
    EXPECT_GE(value, 0.0);
    EXPECT_LT(value, 1.0);
    equal += value == zero.next_f64();
  }
  EXPECT_EQ(equal, 0);
  EXPECT_EQ(largest.block_counter(), 12u);  // three refills for 70 draws
}

// Each refill writes the four blocks from the counter on, in order.
struct RefillCase {
  int refills;
  std::uint64_t first_block;  // of the last refill
};

class RefillTest : public testing::TestWithParam<RefillCase> {};

TEST_P(RefillTest, WritesFourConsecutiveBlocks) {
  const RefillCase& c = GetParam();
  BlockRng rng = BlockRng::seed_from_u64(7);
  for (int i = 0; i < c.refills; ++i) rng.generate_and_set(2);
  EXPECT_EQ(rng.block_counter(), c.first_block + 4);
  EXPECT_EQ(rng.index(), 2u);
  for (std::size_t block = 0; block < 4; ++block) {
    ChaChaBlock expected = chacha_block(rng.input_block(c.first_block + block), 4);
    for (std::size_t word = 0; word < 16; ++word) {
      EXPECT_EQ(rng.results()[block * 16 + word], expected[word]) << "block " << block << " word " << word;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Refills, RefillTest,
                         testing::Values(RefillCase{1, 0}, RefillCase{2, 4}, RefillCase{3, 8}));

// The block number is 64 bits wide: its low half is word 12 and its high half
// word 13, so counting past 2^32 carries into word 13.
struct CounterWordsCase {
  std::uint64_t block;
  std::uint32_t word_12;
  std::uint32_t word_13;
};

class CounterWordsTest : public testing::TestWithParam<CounterWordsCase> {};

TEST_P(CounterWordsTest, BlockNumberSplitsIntoWordsTwelveAndThirteen) {
  const CounterWordsCase& c = GetParam();
  ChaChaBlock input = BlockRng::seed_from_u64(7).input_block(c.block);
  EXPECT_EQ(input[12], c.word_12);
  EXPECT_EQ(input[13], c.word_13);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, CounterWordsTest,
    testing::Values(CounterWordsCase{0, 0, 0}, CounterWordsCase{0xFFFFFFFE, 0xFFFFFFFE, 0},
                    CounterWordsCase{0xFFFFFFFF, 0xFFFFFFFF, 0}, CounterWordsCase{0x100000000, 0, 1},
                    CounterWordsCase{0x100000001, 1, 1},
                    CounterWordsCase{0xFFFFFFFFFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFF},
                    CounterWordsCase{0xFFFFFFFFFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));

TEST(BlockRng, InputBlockLayout) {
  BlockRng rng = BlockRng::seed_from_u64(0);
  ChaChaBlock input = rng.input_block(0x0123456789abcdef);
  EXPECT_EQ(input[0], 0x61707865u);
  EXPECT_EQ(input[1], 0x3320646eu);
  EXPECT_EQ(input[2], 0x79622d32u);
  EXPECT_EQ(input[3], 0x6b206574u);
  std::uint64_t state = 0;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(input[4 + i], BlockRng::pcg32(state)) << "key word " << i;
  EXPECT_EQ(input[12], 0x89abcdefu);
  EXPECT_EQ(input[13], 0x01234567u);
  EXPECT_EQ(input[14], 0u);
  EXPECT_EQ(input[15], 0u);
}

TEST(BlockRng, Pcg32OutputsFromTheAdvancedState) {
  // From state 0 the advanced state is the increment itself:
  // 0xA17654E46FBE17F3: xorshifted 0x2ECF973F, rotated right by 20.
  std::uint64_t state = 0;
  EXPECT_EQ(BlockRng::pcg32(state), 0xF973F2ECu);
  EXPECT_EQ(state, 0xA17654E46FBE17F3u);
}

// RFC 7539, section 2.3.2: the block function with 20 rounds.
TEST(ChaChaBlock, TwentyRoundsMatchRfc7539) {
  ChaChaBlock input = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574, 0x03020100, 0x07060504,
                       0x0b0a0908, 0x0f0e0d0c, 0x13121110, 0x17161514, 0x1b1a1918, 0x1f1e1d1c,
                       0x00000001, 0x09000000, 0x4a000000, 0x00000000};
  ChaChaBlock expected = {0xe4e7f110, 0x15593bd1, 0x1fdd0f50, 0xc47120a3, 0xc7f4d1c7, 0x0368c033,
                          0x9aaa2204, 0x4e6cd4c3, 0x466482d2, 0x09aa9f07, 0x05d7c214, 0xa2028bd9,
                          0xd19c12b5, 0xb94e16de, 0xe883d0cb, 0x4e3c50a2};
  EXPECT_EQ(chacha_block(input, 10), expected);
}

struct UnitCase {
  std::uint64_t bits;
  double expected;
};

class UnitF64Test : public testing::TestWithParam<UnitCase> {};

TEST_P(UnitF64Test, TopFiftyThreeBitsScaled) {
  EXPECT_EQ(BlockRng::unit_f64(GetParam().bits), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Bits, UnitF64Test,
                         testing::Values(UnitCase{0, 0.0}, UnitCase{0x7FF, 0.0},
                                         UnitCase{0x800, 0x1p-53}, UnitCase{0x8000000000000000, 0.5},
                                         UnitCase{UINT64_MAX, 1.0 - 0x1p-53}));

}  // namespace
}  // namespace ondravane
