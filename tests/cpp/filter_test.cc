// The filter: the worked examples, the decision rule's edges, and the same
// selection over records and over an index.
#include "converter/filter.h"
#include "record_helpers.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ondravane {
namespace {

// A feature whose layers tell it apart from every other feature of a test.
Feature feature(std::string token, double tag) {
  return Feature{std::move(token), {Layer{0, {tag, -tag}}, Layer{7, {tag * 2}}}};
}

// Sentence s holds tokens[s]; the feature at position p is tagged s * 10 + p.
ActivationList corpus(const std::vector<std::vector<std::string>>& tokens) {
  ActivationList list;
  for (std::size_t s = 0; s < tokens.size(); ++s) {
    Activation activation;
    activation.linex_index = static_cast<std::uint32_t>(s);
    for (std::size_t p = 0; p < tokens[s].size(); ++p) {
      activation.features.push_back(feature(tokens[s][p], static_cast<double>(s * 10 + p)));
    }
    list.push_back(std::move(activation));
  }
  return list;
}

// The records of `input` reduced to the features at `survivors[s]`, renumbered.
ActivationList keep_only(const ActivationList& input, const std::vector<std::vector<std::size_t>>& survivors) {
  ActivationList expected;
  for (std::size_t s = 0; s < input.size(); ++s) {
    Activation activation;
    activation.linex_index = input[s].linex_index;
    for (std::size_t p : survivors[s]) activation.features.push_back(input[s].features[p]);
    expected.push_back(std::move(activation));
  }
  return expected;
}

// Everything written on file descriptor 1 while it is alive.
class CapturedStdout {
 public:
  CapturedStdout() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = ::dup(1);
    ::dup2(::fileno(file_), 1);
  }
  ~CapturedStdout() {
    restore();
    std::fclose(file_);
  }
  std::string text() {
    restore();
    std::string out;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) out += static_cast<char>(c);
    return out;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
    saved_ = -1;
  }

  std::FILE* file_;
  int saved_;
};

// Runs both overloads, checks that they agree and that the copying one left
// its input alone, and returns their output.
ActivationList filter_both_ways(const ActivationList& input, std::int64_t min, std::int64_t keep,
                                std::uint64_t seed) {
  CapturedStdout stage_lines;
  ActivationList copied = filter_copy(std::span<const Activation>(input), min, keep, seed);
  ActivationList moved = filter(ActivationList(input), min, keep, seed);
  EXPECT_EQ(copied, moved) << "copying and moving overloads disagree";
  return copied;
}

const std::vector<std::vector<std::string>> kWorkedExample = {
    {"the", "cat", "sat"}, {"the", "dog"}, {"the", "the", "cat"}};

struct SelectionCase {
  const char* name;
  std::vector<std::vector<std::string>> tokens;
  std::int64_t min;
  std::int64_t keep;
  std::uint64_t seed;
  std::vector<std::vector<std::size_t>> survivors;  // positions, per sentence
};

class SelectionTest : public testing::TestWithParam<SelectionCase> {};

TEST_P(SelectionTest, KeepsExactlyTheSurvivors) {
  const SelectionCase& c = GetParam();
  ActivationList input = corpus(c.tokens);
  const ActivationList original = input;
  ActivationList output = filter_both_ways(input, c.min, c.keep, c.seed);
  EXPECT_EQ(output, keep_only(input, c.survivors));
  EXPECT_EQ(input, original);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SelectionTest,
    testing::Values(
        // Draws for seed 0: 0.709, 0.466, 0.699, 0.060, 0.879, 0.550.
        SelectionCase{"WorkedExampleSeed0", kWorkedExample, 2, 1, 0, {{1}, {}, {0}}},
        SelectionCase{"WorkedExampleSeed42", kWorkedExample, 2, 1, 42, {{}, {}, {2}}},
        // "cat" (2) survives at keep >= n without a draw, so the four "the"
        // meet the first four draws against p = 0.5.
        SelectionCase{"SurvivalAtKeepDrawsNothing", kWorkedExample, 2, 2, 0, {{1}, {0}, {1, 2}}},
        // "cat" (2) is removed by the minimum before it can draw, so the four
        // "the" meet the first four draws against p = 0.25.
        SelectionCase{"RemovalBelowMinDrawsNothing", kWorkedExample, 3, 1, 0, {{}, {}, {1}}},
        SelectionCase{"MinOneNoThinningIsIdentity", kWorkedExample, 1, -1, 5, {{0, 1, 2}, {0, 1}, {0, 1, 2}}},
        SelectionCase{"LowestMinIsIdentity", kWorkedExample, INT64_MIN, -7, 0, {{0, 1, 2}, {0, 1}, {0, 1, 2}}},
        SelectionCase{"CountEqualToMinSurvives", kWorkedExample, 4, -1, 0, {{0}, {0}, {0, 1}}},
        SelectionCase{"CountAboveEveryMinIsRemoved", kWorkedExample, 5, -1, 0, {{}, {}, {}}},
        SelectionCase{"KeepAtLargestCountIsIdentity", kWorkedExample, 0, 4, 0, {{0, 1, 2}, {0, 1}, {0, 1, 2}}},
        SelectionCase{"KeepZeroRemovesEveryTestedToken", kWorkedExample, 2, 0, 0, {{}, {}, {}}},
        SelectionCase{"KeepZeroWithoutMinRemovesAll", kWorkedExample, 0, 0, 0, {{}, {}, {}}},
        SelectionCase{"CaseAndBytesMatter",
                      {{"The", "the", "THE", "the "}, {"the", ""}, {"", "th", "e"}},
                      2,
                      -1,
                      0,
                      {{1}, {0, 1}, {0}}},
        SelectionCase{"RecordsWithoutFeaturesStay", {{}, {"a", "a"}, {}}, 2, -1, 0, {{}, {0, 1}, {}}},
        SelectionCase{"EmptyList", {}, 2, 1, 0, {}}),
    [](const testing::TestParamInfo<SelectionCase>& info) { return info.param.name; });

TEST(Filter, ThinningKeepsAboutKeepPerToken) {
  // 2000 occurrences of one token thinned to a mean of 500: a draw per
  // occurrence, not a cap, so the count varies around 500.
  ActivationList input = corpus({std::vector<std::string>(2000, "x")});
  ActivationList output = filter_both_ways(input, 1, 500, 9);
  ASSERT_EQ(output.size(), 1u);
  EXPECT_GT(output[0].features.size(), 430u);
  EXPECT_LT(output[0].features.size(), 570u);
  CapturedStdout stage_lines;
  EXPECT_EQ(filter_copy(std::span<const Activation>(input), 1, 500, 9), output) << "not repeatable";
  EXPECT_NE(filter_copy(std::span<const Activation>(input), 1, 500, 10), output) << "seed has no effect";
}

TEST(Filter, PrintsBothStageLines) {
  ActivationList input = corpus(kWorkedExample);
  CapturedStdout captured;
  filter_copy(std::span<const Activation>(input), 2, 1, 0);
  EXPECT_EQ(captured.text(), "Start Counting!\nStart Filtering based on then counted value!\n");
}

}  // namespace
}  // namespace ondravane
