// The check of a file: problems, summary and warnings, and agreement with
// what the conversion accepts.
#include "converter/check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace ondravane {

void PrintTo(const CheckProblem& problem, std::ostream* out) {
  *out << "line " << problem.line << " column " << problem.column << ": " << problem.reason;
}

namespace {

constexpr char kEndsInside[] = "the line ends inside the record (each record must stand whole on one line)";
constexpr char kNoLayers[] = "a feature without layers (writing fails here: index out of bounds)";
constexpr char kNotUtf8[] = "not UTF-8 (the conversion fails here: stream did not contain valid UTF-8)";

struct Expected {
  std::uint64_t lines;
  std::uint64_t sentences;
  std::uint64_t occurrences;
  std::optional<std::size_t> header_length;
  std::optional<std::uint64_t> reading_stops;  // the line
};

// Each "@@" in `marked` marks where one problem lies: its line and its byte
// offset in that line. `reasons` gives the problems' reasons in file order.
struct CheckCase {
  const char* name;
  std::string marked;
  std::vector<std::string> reasons;
  Expected expected;
  CheckWarnings warnings = {};
  VectorOptions vectors = {};  // of the conversion checked for
};

Tally tally(std::uint64_t count, std::uint64_t first_line) { return Tally{count, first_line}; }

CheckWarnings warned(Tally CheckWarnings::*which, Tally value) {
  CheckWarnings warnings;
  warnings.*which = value;
  return warnings;
}

class CheckFileTest : public testing::TestWithParam<CheckCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/check_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Writes the case without its marks; returns the path and the marked places.
  std::string write(const std::string& marked, std::vector<std::pair<std::uint64_t, std::size_t>>& places) {
    std::string content;
    std::uint64_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < marked.size(); ++i) {
      if (marked.compare(i, 2, "@@") == 0) {
        places.emplace_back(line, content.size() - line_start);
        ++i;
        continue;
      }
      content += marked[i];
      if (marked[i] == '\n') {
        ++line;
        line_start = content.size();
      }
    }
    const std::string path = dir_ + "/input.jsonl";
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string dir_;
};

TEST_P(CheckFileTest, ReportsProblemsSummaryAndWarnings) {
  const CheckCase& c = GetParam();
  std::vector<std::pair<std::uint64_t, std::size_t>> places;
  const std::string path = write(c.marked, places);
  ASSERT_EQ(places.size(), c.reasons.size());
  // One thread, and worker threads with chunks of one line and of a few.
  for (const auto& [jobs, chunk_bytes] : {std::pair{1u, std::size_t{1} << 20}, std::pair{2u, std::size_t{1}},
                                          std::pair{3u, std::size_t{64}}}) {
    SCOPED_TRACE(std::to_string(jobs) + " jobs");
    const CheckReport report = check_file(path, 100, jobs, chunk_bytes, c.vectors);
    std::vector<CheckProblem> expected;
    for (std::size_t k = 0; k < places.size(); ++k) {
      const std::string& reason = c.reasons[k];
      const auto has = [&](const char* text) { return reason.find(text) != std::string::npos; };
      const auto kind = reason == kNoLayers               ? CheckProblem::Kind::kNoLayers
                        : reason == kNotUtf8              ? CheckProblem::Kind::kNotUtf8
                        : has("no layer with index")      ? CheckProblem::Kind::kMissingLayer
                        : has("layers of different")      ? CheckProblem::Kind::kLayerLengths
                        : has("the binary format holds")  ? CheckProblem::Kind::kVectorLength
                        : has("one vector a token")       ? CheckProblem::Kind::kTypeLength
                                                          : CheckProblem::Kind::kRejected;
      expected.push_back(CheckProblem{kind, places[k].first, places[k].second, reason});
    }
    EXPECT_EQ(report.problems, expected);
    EXPECT_EQ(report.problem_count, expected.size());
    EXPECT_EQ(report.lines, c.expected.lines);
    EXPECT_EQ(report.sentences, c.expected.sentences);
    EXPECT_EQ(report.occurrences, c.expected.occurrences);
    EXPECT_EQ(report.header_length, c.expected.header_length);
    EXPECT_EQ(report.reading_stops ? std::optional(report.reading_stops->line) : std::nullopt,
              c.expected.reading_stops);
    const CheckWarnings& w = report.warnings;
    EXPECT_EQ(w.token_with_space, c.warnings.token_with_space);
    EXPECT_EQ(w.token_with_line_break, c.warnings.token_with_line_break);
    EXPECT_EQ(w.length_differs, c.warnings.length_differs);
    EXPECT_EQ(w.repeated_sentence, c.warnings.repeated_sentence);
    EXPECT_EQ(w.empty_token, c.warnings.empty_token);
    EXPECT_EQ(w.joined_token, c.warnings.joined_token);
  }
}

const std::string kGood = R"([0,[["a",[[0,[1,2]],[1,[3]]]],["b",[[0,[4,5]]]]]])";

INSTANTIATE_TEST_SUITE_P(
    Layouts, CheckFileTest,
    testing::Values(
        CheckCase{"Valid", kGood + "\n[1,[]]\n", {}, {2, 2, 2, 2, {}}},
        CheckCase{"Empty", "", {}, {0, 0, 0, {}, {}}},
        CheckCase{"CrLf", kGood + "\r\n[1,[]]\r\n", {}, {2, 2, 2, 2, {}}},
        CheckCase{"NegativeLayerIndices",
                  R"([0,[["a",[[@@-1,[1]],[-2,[2]]]]]])" "\n" R"([1,[["b",[[@@-1,[1]]]]]])" "\n",
                  {"layer index 'index' is negative", "layer index 'index' is negative"},
                  {2, 0, 0, {}, 1}},
        CheckCase{"BlankLastLine", kGood + "\n@@\n", {"empty line"}, {2, 1, 2, 2, 2}},
        CheckCase{"ByteOrderMark", "@@\xEF\xBB\xBF" + kGood + "\n[1,[]]", {"byte-order mark (the file must be UTF-8 without one)"},
                  {2, 1, 0, {}, 1}},
        CheckCase{"NaNInALaterLayer", kGood + "\n" + R"([1,[["c",[[0,[1,2]],[1,[@@NaN]]]]]])",
                  {"NaN and Infinity are not JSON numbers"}, {2, 1, 2, 2, 2}},
        CheckCase{"PrettyPrinted", "{@@\n  @@\"linex_index\": 0,\n  @@\"features\": []\n@@}\n",
                  {kEndsInside, "expected an object or an array", "expected an object or an array",
                   "expected an object or an array"},
                  {4, 0, 0, {}, 1}},
        CheckCase{"NotUtf8", kGood + "\n[1,[[\"caf@@\xE9\",[[0,[1,2]]]]]]\n[2,[@@\xFF]]\n",
                  {kNotUtf8, kNotUtf8}, {3, 1, 2, 2, 2}},
        CheckCase{"NotUtf8AfterARejectedLine", "[0@@1,[]]\n[\"@@\xC3\"]\n",
                  {"a JSON number has no leading zeros", kNotUtf8}, {2, 0, 0, {}, 1}},
        CheckCase{"FeatureWithoutLayers", R"([0,[["a",[[0,[1]]]],@@["b",[]],@@{"token":"c","layers":[]}]])",
                  {kNoLayers, kNoLayers}, {1, 1, 3, 1, {}}},
        CheckCase{"FirstFeatureWithoutLayers", R"([0,[@@["a",[]],["b",[[0,[1,2]]]]]])", {kNoLayers},
                  {1, 1, 2, {}, {}}}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Warnings, CheckFileTest,
    testing::Values(
        CheckCase{"MixedLengths",
                  R"([0,[["a",[[0,[1,2]]]],["b",[[0,[1,2,3]]]]]])" "\n" R"([1,[["c",[[0,[]]]],["d",[[0,[1,2]]]]]])",
                  {}, {2, 2, 4, 2, {}}, warned(&CheckWarnings::length_differs, tally(2, 1))},
        CheckCase{"RepeatedSentenceNumbers", "[4294967295,[]]\n[0,[]]\n[4294967295,[]]\n[65536,[]]\n[0,[]]\n[65535,[]]",
                  {}, {6, 6, 0, {}, {}}, warned(&CheckWarnings::repeated_sentence, tally(2, 3))},
        CheckCase{"TokensWithSpaces", R"([0,[["New York",[[0,[1]]]],["a\tb",[[0,[1]]]]]])" "\n" R"([1,[["x\u0020",[[0,[1]]]]]])",
                  {}, {2, 2, 3, 1, {}}, warned(&CheckWarnings::token_with_space, tally(3, 1))},
        CheckCase{"TokensWithLineBreaks", R"([0,[["ok",[[0,[1]]]]]])" "\n" R"([1,[["a\nb",[[0,[1]]]],["c\r",[[0,[1]]]]]])",
                  {}, {2, 2, 3, 1, {}}, warned(&CheckWarnings::token_with_line_break, tally(2, 2))},
        CheckCase{"EmptyTokens", R"([0,[["ok",[[0,[1]]]],["##",[[0,[1]]]]]])" "\n" R"([1,[["",[[0,[1]]]],["\u0120",[[0,[1]]]]]])",
                  {}, {2, 2, 4, 1, {}}, warned(&CheckWarnings::empty_token, tally(3, 1))},
        CheckCase{"JoinedTokens", R"([0,[["##ing",[[0,[1]]]],["Ġthe",[[0,[1]]]]]])" "\n" R"([1,[["a##b",[[0,[1]]]],["#Ġ#",[[0,[1]]]]]])",
                  {}, {2, 2, 4, 1, {}}, warned(&CheckWarnings::joined_token, tally(2, 2))}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

VectorOptions chosen(std::vector<std::int64_t> indices, Combine combine = Combine::kMean) {
  return VectorOptions{VectorRecipe{LayerChoice{std::move(indices)}, combine}};
}

VectorOptions with(VectorOptions options, bool per_type, VectorFormat format) {
  options.per_type = per_type;
  options.format = format;
  return options;
}

// The check for the conversion with the options that choose what is
// written: what it cannot write are problems, at the occurrence.
INSTANTIATE_TEST_SUITE_P(
    Options, CheckFileTest,
    testing::Values(
        CheckCase{"StockDumpLastLayer", R"([0,[["a",[[-1,[1,2]],[-2,[3]]]]]])", {}, {1, 1, 1, 2, {}}, {},
                  chosen({-1})},
        CheckCase{"MissingChosenLayer", R"([0,[["a",[[-2,[1]],[-1,[1]]]],@@["b",[[-1,[1]]]],@@["c",[]]]])",
                  {"no layer with index -2 (writing fails here)", "no layer with index -1 (writing fails here)"},
                  {1, 1, 3, 2, {}}, {}, chosen({-1, -2}, Combine::kConcat)},
        CheckCase{"LayerLengthsDiffer", R"([0,[["a",[[-1,[1]],[-2,[2]]]],@@["b",[[-1,[1,2]],[-2,[2]]]]]])",
                  {"layers of different lengths, which cannot be averaged: index -2 has 1, index -1 has 2 values "
                   "(writing fails here)"},
                  {1, 1, 2, 1, {}}, {}, chosen({-2, -1})},
        CheckCase{"ConcatLengthsAdd", R"([0,[["a",[[-1,[1]],[-2,[2,3]]]],["b",[[-1,[1,2]],[-2,[2]]]]]])", {},
                  {1, 1, 2, 3, {}}, {}, chosen({-1, -2}, Combine::kConcat)},
        CheckCase{"BinaryLengthOtherThanTheHeader", R"([0,[["a",[[-1,[1,2]]]],@@["b",[[-1,[1]]]]]])",
                  {"a vector of 1 values where the header says 2 (writing fails here: the binary format holds "
                   "vectors of one length)"},
                  {1, 1, 2, 2, {}}, {}, with(chosen({-1}), false, VectorFormat::kBinary)},
        CheckCase{"TypeLengthOtherThanItsFirst",
                  R"([0,[["a",[[0,[1,2]]]],["b",[[0,[1]]]]]])" "\n" R"([1,[@@["##a",[[0,[1]]]]]])",
                  {"a vector of 1 values where its token's first (line 1) has 2 (writing fails here: one vector a "
                   "token is the mean of vectors of one length)"},
                  {2, 2, 3, 2, {}}, warned(&CheckWarnings::length_differs, tally(1, 1)),
                  with({}, true, VectorFormat::kText)},
        CheckCase{"OnlyBlanksSplitBinaryIdentifiers", R"([0,[["New York",[[0,[1]]]],["a\tb",[[0,[1]]]]]])", {},
                  {1, 1, 2, 1, {}}, warned(&CheckWarnings::token_with_space, tally(1, 1)),
                  with({}, false, VectorFormat::kBinary)}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

class CheckLimitsTest : public CheckFileTest {};

TEST_F(CheckLimitsTest, ListsUpToTheLimitAndCountsEveryProblem) {
  std::string marked;
  for (int k = 0; k < 30; ++k) marked += "[" + std::to_string(k) + ",[]]\n@@\n";
  std::vector<std::pair<std::uint64_t, std::size_t>> places;
  const std::string path = write(marked, places);
  const CheckReport limited = check_file(path, 5);
  ASSERT_EQ(limited.problems.size(), 5u);
  EXPECT_EQ(limited.problem_count, 30u);
  EXPECT_EQ(limited.problems[4].line, 10u);
  ASSERT_TRUE(limited.reading_stops.has_value());
  EXPECT_EQ(limited.reading_stops->line, 2u);
  const CheckReport none = check_file(path, 0);
  EXPECT_TRUE(none.problems.empty());
  EXPECT_EQ(none.problem_count, 30u);
  EXPECT_EQ(none.reading_stops->line, 2u);
}

TEST_F(CheckLimitsTest, ListsTheFirstDistinctLengthsAndCountsTheRest) {
  // Lengths 0, 1, ..., 19 on lines 1 to 20, then length 3 again.
  std::string marked;
  for (int length = 0; length < 20; ++length) {
    std::string values;
    for (int k = 0; k < length; ++k) values += k ? ",1" : "1";
    marked += "[0,[[\"t\",[[0,[" + values + "]]]]]]\n";
  }
  marked += "[0,[[\"t\",[[0,[1,1,1]]]]]]\n";
  std::vector<std::pair<std::uint64_t, std::size_t>> places;
  const CheckReport report = check_file(write(marked, places), 10);
  const DistinctCounts& lengths = report.first_layer_lengths;
  ASSERT_EQ(lengths.entries.size(), DistinctCounts::kLimit);
  for (std::size_t k = 0; k < DistinctCounts::kLimit; ++k) {
    EXPECT_EQ(lengths.entries[k].value, k);
    EXPECT_EQ(lengths.entries[k].seen, tally(k == 3 ? 2 : 1, k + 1));
  }
  EXPECT_EQ(lengths.others, tally(20 - DistinctCounts::kLimit, DistinctCounts::kLimit + 1));
  EXPECT_EQ(report.warnings.length_differs, tally(20, 2));
}

}  // namespace
}  // namespace ondravane
