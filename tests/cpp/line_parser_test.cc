// The record grammar: every acceptance rule, the rejections and their
// reasons, and the walks that must agree with parsing.
#include "converter/line/line_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/line/layer_choice.h"
#include "converter/records.h"
#include "converter/json/utf8.h"
#include "record_helpers.h"

namespace ondravane {
namespace {

Activation sentence(std::uint32_t index, std::vector<Feature> features = {}) {
  return Activation{index, std::move(features)};
}

// One feature with one layer; the usual shape of a line in these tests.
Activation one_token(std::string token, std::uint32_t layer, std::vector<double> values) {
  return sentence(0, {Feature{std::move(token), {Layer{layer, std::move(values)}}}});
}

struct AcceptedCase {
  const char* name;
  std::string line;
  Activation expected;
};

class AcceptedLineTest : public testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedLineTest, GivesTheRecord) {
  std::optional<Activation> parsed = from_line(GetParam().line);
  ASSERT_TRUE(parsed.has_value()) << GetParam().line;
  EXPECT_EQ(*parsed, GetParam().expected);
}

// The survey of the same line accepts it and sees the record's shape.
TEST_P(AcceptedLineTest, SurveyGivesTheShape) {
  const Activation& expected = GetParam().expected;
  LineParser parser;
  LineShape shape;
  ASSERT_TRUE(parser.survey(GetParam().line, shape)) << GetParam().line;
  EXPECT_EQ(shape.linex_index, expected.linex_index);
  ASSERT_EQ(shape.occurrences.size(), expected.features.size());
  for (std::size_t k = 0; k < shape.occurrences.size(); ++k) {
    const Feature& feature = expected.features[k];
    EXPECT_EQ(shape.occurrences[k].token, feature.token);
    EXPECT_EQ(shape.occurrences[k].layer_count, feature.layers.size());
    EXPECT_EQ(shape.occurrences[k].first_layer_length,
              feature.layers.empty() ? 0 : feature.layers[0].values.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    RecordForms, AcceptedLineTest,
    testing::Values(
        AcceptedCase{"FeaturesBeforeIndex", R"({"features":[],"linex_index":3})", sentence(3)},
        AcceptedCase{"ArrayForm", "[7,[]]", sentence(7)},
        AcceptedCase{"ArrayLayerInObjectFeature",
                     R"({"linex_index":1,"features":[{"token":"a","layers":[[3,[1.5,2]]]}]})",
                     sentence(1, {Feature{"a", {Layer{3, {1.5, 2.0}}}}})},
        AcceptedCase{"ObjectLayerInArrayFeature", R"([0,[["t",[{"values":[-1],"index":2}]]]])",
                     one_token("t", 2, {-1.0})},
        AcceptedCase{"AllKeyOrders",
                     R"({"features":[{"layers":[{"values":[],"index":9}],"token":"x"}],"linex_index":0})",
                     one_token("x", 9, {})},
        AcceptedCase{"OtherKeyTwice", R"({"x":1,"linex_index":0,"x":[2],"features":[]})", sentence(0)},
        AcceptedCase{"OtherMembersAtEveryLevel",
                     R"({"a":null,"linex_index":0,"features":[{"b":true,"token":"t",)"
                     R"("layers":[{"c":{"d":[]},"index":1,"values":[0.5]}]}]})",
                     one_token("t", 1, {0.5})},
        AcceptedCase{"EscapedKey", R"({"linex\u005findex":5,"f\u0065atures":[]})", sentence(5)},
        AcceptedCase{"LargestIndex", R"([4294967295,[]])", sentence(4294967295u)},
        AcceptedCase{"Whitespace", "\t { \"linex_index\" :\r\n 1 ,\"features\"\t: [ ] } \r", sentence(1)},
        AcceptedCase{"SeparatorsOfEveryShape", "[0,[[\"t\",[[1,[1, 2,  3, \t4 ,5,\r\n6 , 7,8, 9 ]]]]]]",
                     one_token("t", 1, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
        AcceptedCase{"EmptyLists", R"([0,[["",[]],["e",[[0,[]]]]]])",
                     sentence(0, {Feature{"", {}}, Feature{"e", {Layer{0, {}}}}})},
        AcceptedCase{"LoneSurrogateInSkippedString",
                     R"({"x":"\ud83d","linex_index":0,"features":[]})", sentence(0)},
        AcceptedCase{"LoneSurrogateInSkippedKey",
                     R"({"x":[{"\udfaa":0}],"linex_index":0,"features":[]})", sentence(0)},
        AcceptedCase{"SkippedNumbersAreNotConverted",
                     R"({"x":[1e999999999999,-0,2e308],"linex_index":0,"features":[]})",
                     sentence(0)},
        AcceptedCase{"SameIndexValuesTwice", R"([0,[["a",[[1,[]],[1,[]]]]]])",
                     sentence(0, {Feature{"a", {Layer{1, {}}, Layer{1, {}}}}})}),
    [](const testing::TestParamInfo<AcceptedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Tokens, AcceptedLineTest,
    testing::Values(
        AcceptedCase{"UnicodeEscape", R"([0,[["\u00e9",[]]]])", sentence(0, {Feature{"\xC3\xA9", {}}})},
        AcceptedCase{"SurrogatePair",
                     R"([0,[["\ud83d\ude00",[]]]])", sentence(0, {Feature{"\xF0\x9F\x98\x80", {}}})},
        AcceptedCase{"UpperCaseHex", R"([0,[["\u00C9\uD83D\uDE00",[]]]])",
                     sentence(0, {Feature{"\xC3\x89\xF0\x9F\x98\x80", {}}})},
        AcceptedCase{"ShortEscapes",
                     R"([0,[["\"\\\/\b\f\n\r\t",[]]]])", sentence(0, {Feature{"\"\\/\b\f\n\r\t", {}}})},
        AcceptedCase{"EscapedNul",
                     R"([0,[["a\u0000b",[]]]])", sentence(0, {Feature{std::string("a\0b", 3), {}}})},
        AcceptedCase{"RawNonAsciiAndDelete", "[0,[[\"\xC4\xA0x\x7F\xE2\x82\xAC\",[]]]]",
                     sentence(0, {Feature{"\xC4\xA0x\x7F\xE2\x82\xAC", {}}})},
        AcceptedCase{"EscapesBetweenPlainRuns",
                     R"([0,[["ab\ncd\u0041ef",[]]]])", sentence(0, {Feature{"ab\ncdAef", {}}})}),
    [](const testing::TestParamInfo<AcceptedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Values, AcceptedLineTest,
    testing::Values(
        AcceptedCase{"Nearest1e308", R"([0,[["v",[[0,[1e308]]]]]])", one_token("v", 0, {1e308})},
        AcceptedCase{"UnderflowToZero",
                     R"([0,[["v",[[0,[1e-400,0e999999999999]]]]]])", one_token("v", 0, {0.0, 0.0})},
        AcceptedCase{"ManyDigits", R"([0,[["v",[[0,[123456789012345678901234567890]]]]]])",
                     one_token("v", 0, {1.2345678901234568e29})},
        AcceptedCase{"NotAlwaysNearest", R"([0,[["v",[[0,[0.12088995980580641, 0.1 ,0.3,1e23]]]]]])",
                     one_token("v", 0, {0.1208899598058064, 0.1, 0.3, 1e23})},
        AcceptedCase{"PastTheSignificand", R"([0,[["v",[[0,[9007199254740993]]]]]])",
                     one_token("v", 0, {9007199254740992.0})}),
    [](const testing::TestParamInfo<AcceptedCase>& info) { return info.param.name; });

TEST(LineParser, KeepsTheSignOfZero) {
  std::optional<Activation> parsed = from_line(R"([0,[["v",[[0,[-0,-0.0,-1e-400]]]]]])");
  ASSERT_TRUE(parsed.has_value());
  for (double value : parsed->features[0].layers[0].values) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(-0.0));
  }
}

struct RejectedCase {
  const char* name;
  std::string line;
};

class RejectedLineTest : public testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedLineTest, IsRejected) {
  EXPECT_FALSE(from_line(GetParam().line).has_value()) << GetParam().line;
  EXPECT_FALSE(from_line(GetParam().line, LayerRetention::kFirstOnly).has_value());
  LineParser parser;
  LineShape shape;
  EXPECT_FALSE(parser.survey(GetParam().line, shape));
}

INSTANTIATE_TEST_SUITE_P(
    LineStructure, RejectedLineTest,
    testing::Values(RejectedCase{"Empty", ""}, RejectedCase{"WhitespaceOnly", " \t\r\n"},
                    RejectedCase{"ByteOrderMark", "\xEF\xBB\xBF[0,[]]"},
                    RejectedCase{"FormFeed", "\f[0,[]]"}, RejectedCase{"NoBreakSpace", "[0,[]]\xC2\xA0"},
                    RejectedCase{"TrailingComma", "[0,[]],"}, RejectedCase{"SecondRecord", "[0,[]] [1,[]]"},
                    RejectedCase{"Truncated", R"({"linex_index":0,"features":[)"},
                    RejectedCase{"Comment", "[0,[]] /* */"},
                    RejectedCase{"NulAfterRecord", std::string("[0,[]]\0", 7)}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    RecordForms, RejectedLineTest,
    testing::Values(
        RejectedCase{"EmptyObject", "{}"}, RejectedCase{"MissingFeatures", R"({"linex_index":1})"},
        RejectedCase{"MissingIndex", R"({"features":[]})"},
        RejectedCase{"IndexTwiceEqual", R"({"linex_index":1,"features":[],"linex_index":1})"},
        RejectedCase{"FeaturesTwice", R"({"linex_index":1,"features":[],"features":[]})"},
        RejectedCase{"EscapedDuplicateKey", R"({"linex_index":1,"features":[],"\u006cinex_index":1})"},
        RejectedCase{"TokenTwice", R"([0,[{"token":"a","layers":[],"token":"a"}]])"},
        RejectedCase{"ValuesTwice", R"([0,[["a",[{"index":0,"values":[],"values":[]}]]]])"},
        RejectedCase{"KeyCaseMatters", R"({"Linex_index":1,"features":[]})"},
        RejectedCase{"ArrayOfOne", "[7]"},
        RejectedCase{"ArrayOfThree", "[7,[],1]"},
        RejectedCase{"EmptyArray", "[]"},
        RejectedCase{"LayerArrayOfOne", R"([0,[["a",[[1]]]]])"},
        RejectedCase{"Null", "null"}, RejectedCase{"Number", "7"}, RejectedCase{"String", R"("s")"},
        RejectedCase{"True", "true"}, RejectedCase{"NullFeature", "[0,[null]]"},
        RejectedCase{"NullFeatures", "[0,null]"}, RejectedCase{"NullLayers", R"([0,[["a",null]]])"},
        RejectedCase{"NullValues", R"([0,[["a",[[0,null]]]]])"},
        RejectedCase{"LoneSurrogateInRecordKey", R"({"\ud800":0,"linex_index":0,"features":[]})"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    IntegerFields, RejectedLineTest,
    testing::Values(RejectedCase{"TooLarge", "[4294967296,[]]"}, RejectedCase{"NegativeZero", "[-0,[]]"},
                    RejectedCase{"Negative", "[-1,[]]"}, RejectedCase{"Fraction", "[1.0,[]]"},
                    RejectedCase{"Exponent", "[1e0,[]]"}, RejectedCase{"LeadingZero", "[01,[]]"},
                    RejectedCase{"String", R"(["1",[]])"}, RejectedCase{"Null", "[null,[]]"},
                    RejectedCase{"NegativeLayerIndex", R"([0,[["a",[[-1,[]]]]]])"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Values, RejectedLineTest,
    testing::Values(
        RejectedCase{"TrailingComma", R"([0,[["a",[[0,[1,]]]]]])"},
        RejectedCase{"LeadingComma", R"([0,[["a",[[0,[,1]]]]]])"},
        RejectedCase{"DoubleComma", R"([0,[["a",[[0,[1,,2]]]]]])"},
        RejectedCase{"MissingComma", R"([0,[["a",[[0,[1 2]]]]]])"},
        RejectedCase{"Null", R"([0,[["a",[[0,[null]]]]]])"},
        RejectedCase{"String", R"([0,[["a",[[0,["1"]]]]]])"},
        RejectedCase{"True", R"([0,[["a",[[0,[true]]]]]])"},
        RejectedCase{"TooLarge", R"([0,[["a",[[0,[2e308]]]]]])"},
        RejectedCase{"HugeExponent", R"([0,[["a",[[0,[1e999999999999]]]]]])"},
        RejectedCase{"NaN", R"([0,[["a",[[0,[NaN]]]]]])"},
        RejectedCase{"Infinity", R"([0,[["a",[[0,[-Infinity]]]]]])"},
        RejectedCase{"PlusSign", R"([0,[["a",[[0,[+1]]]]]])"},
        RejectedCase{"BareFraction", R"([0,[["a",[[0,[.5]]]]]])"},
        RejectedCase{"BareStop", R"([0,[["a",[[0,[1.]]]]]])"},
        RejectedCase{"LeadingZero", R"([0,[["a",[[0,[-00]]]]]])"},
        RejectedCase{"EmptyExponent", R"([0,[["a",[[0,[1e+]]]]]])"},
        RejectedCase{"BadNumberInLaterLayer", R"([0,[["a",[[0,[1]],[1,[1e400]]]]]])"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Strings, RejectedLineTest,
    testing::Values(
        RejectedCase{"NumberToken", "[0,[[1,[]]]]"}, RejectedCase{"NullToken", "[0,[[null,[]]]]"},
        RejectedCase{"RawTab", "[0,[[\"a\tb\",[]]]]"},
        RejectedCase{"RawNul", std::string("[0,[[\"a\0b\",[]]]]", 14)},
        RejectedCase{"RawControlInSkippedString", "{\"x\":\"\x1f\",\"linex_index\":0,\"features\":[]}"},
        RejectedCase{"LoneHighSurrogate", R"([0,[["\ud83d",[]]]])"},
        RejectedCase{"LoneLowSurrogate", R"([0,[["\ude00",[]]]])"},
        RejectedCase{"HighSurrogateThenLetter", R"([0,[["\ud83d\u0041",[]]]])"},
        RejectedCase{"HighSurrogateThenShortEscape", R"([0,[["\ud83d\n",[]]]])"},
        RejectedCase{"InvertedPair", R"([0,[["\ude00\ud83d",[]]]])"},
        RejectedCase{"UnknownEscape", R"([0,[["\x41",[]]]])"},
        RejectedCase{"ShortUnicodeEscape", R"([0,[["\u12",[]]]])"},
        RejectedCase{"NonHexEscape", R"([0,[["\u12g4",[]]]])"},
        RejectedCase{"ShortEscapeInSkippedString", R"({"x":"\u12","linex_index":0,"features":[]})"},
        RejectedCase{"UnknownEscapeInSkippedString", R"({"x":"\a","linex_index":0,"features":[]})"},
        RejectedCase{"Unclosed", R"([0,[["abc)"}, RejectedCase{"UnclosedAfterEscape", R"([0,[["abc\)"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Punctuation, RejectedLineTest,
    testing::Values(
        RejectedCase{"UnquotedKey", "{linex_index:0,\"features\":[]}"},
        RejectedCase{"MissingColon", R"({"linex_index" 0,"features":[]})"},
        RejectedCase{"MissingMemberComma", R"({"linex_index":0 "features":[]})"},
        RejectedCase{"DoubleMemberComma", R"({"linex_index":0,,"features":[]})"},
        RejectedCase{"TrailingMemberComma", R"({"linex_index":0,"features":[],})"},
        RejectedCase{"NumberKey", R"({"linex_index":0,"features":[],1:2})"},
        RejectedCase{"SkippedTrailingComma", R"({"x":[1,],"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedObjectWithoutValue", R"({"x":{"a"},"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedTrailingMemberComma", R"({"x":{"a":1,},"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedMismatchedClose", R"({"x":[1},"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedUnquotedKey", R"({"x":{a:1},"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedBadLiteral", R"({"x":tru,"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedCapitalLiteral", R"({"x":True,"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedLeadingZero", R"({"x":01,"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedMissingValue", R"({"x":,"linex_index":0,"features":[]})"},
        RejectedCase{"SkippedUnclosed", R"({"x":[[{"a":[1])"}),
    [](const testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

// Where and why a line is rejected. Each line marks with "@@" the byte where
// it stops being acceptable; the marker is removed before parsing, and its
// offset is the expected column.
struct ReasonCase {
  const char* name;
  std::string marked_line;
  const char* reason;
};

class RejectionReasonTest : public testing::TestWithParam<ReasonCase> {};

}  // namespace

void PrintTo(const Rejection& rejection, std::ostream* out) {
  *out << "column " << rejection.column << ": " << rejection.reason;
}

namespace {

TEST_P(RejectionReasonTest, SaysWhereAndWhy) {
  const std::string& marked = GetParam().marked_line;
  const std::size_t column = marked.find("@@");
  ASSERT_NE(column, std::string::npos);
  const std::string line = marked.substr(0, column) + marked.substr(column + 2);
  LineParser parser;
  ASSERT_FALSE(parser.from_line(line, LayerRetention::kFirstOnly).has_value()) << line;
  EXPECT_EQ(parser.rejection(), (Rejection{column, GetParam().reason})) << line;
  LineShape shape;
  ASSERT_FALSE(parser.survey(line, shape)) << line;
  EXPECT_EQ(parser.rejection(), (Rejection{column, GetParam().reason})) << line;
  // The indexing walk too, also where it converts the first layer for a copy.
  for (const bool for_copy : {false, true}) {
    ASSERT_FALSE(parser.index_unchecked_utf8(line, false, kFirstLayer, for_copy)) << line;
    EXPECT_EQ(parser.rejection(), (Rejection{column, GetParam().reason})) << line << " for_copy " << for_copy;
  }
}

// Every walk, with layers chosen by index, rejects where and why `marked`
// says.
void expect_rejected_with_chosen_layers(const std::string& marked, const char* reason) {
  const std::size_t column = marked.find("@@");
  ASSERT_NE(column, std::string::npos);
  const std::string line = marked.substr(0, column) + marked.substr(column + 2);
  const LayerChoice choice{{-1, 0}};
  LineParser parser;
  ASSERT_FALSE(parser.from_line(line, LayerRetention::kChosen, LineParser::StringUtf8::kChecked, choice)) << line;
  EXPECT_EQ(parser.rejection(), (Rejection{column, reason})) << line;
  LineShape shape;
  ASSERT_FALSE(parser.survey(line, shape, choice)) << line;
  EXPECT_EQ(parser.rejection(), (Rejection{column, reason})) << line;
  ASSERT_FALSE(parser.index_unchecked_utf8(line, false, choice)) << line;
  EXPECT_EQ(parser.rejection(), (Rejection{column, reason})) << line;
}

// Choosing layers by index changes nothing else of what a line may hold.
TEST_P(RejectionReasonTest, SaysTheSameWithLayersChosenByIndex) {
  if (std::string_view(GetParam().reason) == "layer index 'index' is negative") GTEST_SKIP() << "allowed then";
  expect_rejected_with_chosen_layers(GetParam().marked_line, GetParam().reason);
}

class SignedLayerIndexTest : public testing::TestWithParam<ReasonCase> {};

TEST_P(SignedLayerIndexTest, SaysWhereAndWhy) {
  expect_rejected_with_chosen_layers(GetParam().marked_line, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignedLayerIndexTest,
    testing::Values(
        ReasonCase{"BelowTheLowest", R"([0,[["a",[[@@-4294967296,[]]]]]])", "layer index 'index' is below -4294967295"},
        ReasonCase{"FarBelow", R"([0,[["a",[{"index":@@-99999999999,"values":[]}]]]])",
                   "layer index 'index' is below -4294967295"},
        ReasonCase{"AboveTheHighest", R"([0,[["a",[[@@4294967296,[]]]]]])", "layer index 'index' is above 4294967295"},
        ReasonCase{"NegativeFraction", R"([0,[["a",[[@@-1.0,[]]]]]])",
                   "layer index 'index' is not a plain integer (no fraction, no exponent)"},
        ReasonCase{"NegativeExponent", R"([0,[["a",[[@@-1e0,[]]]]]])",
                   "layer index 'index' is not a plain integer (no fraction, no exponent)"},
        ReasonCase{"NegativeLeadingZero", R"([0,[["a",[[-0@@1,[]]]]]])", "a JSON number has no leading zeros"},
        ReasonCase{"SentenceStaysUnsigned", "[@@-1,[]]", "sentence number 'linex_index' is negative"}),
    [](const testing::TestParamInfo<ReasonCase>& info) { return info.param.name; });

// Layers chosen by index, as each walk finds them: the record keeps the
// first layer of each index chosen (in the line's order), the survey sees
// each chosen layer's length, and the index walk lists the pieces the second
// reading reads again: the token, then each chosen layer's list of values.
struct ChosenCase {
  const char* name;
  std::string line;
  std::vector<std::int64_t> indices;
  // Per occurrence: the token's text as written, then each chosen layer's
  // text ("" for a layer it lacks).
  std::vector<std::vector<std::string>> pieces;
  std::vector<Feature> kept;
};

class ChosenLayersTest : public testing::TestWithParam<ChosenCase> {};

TEST_P(ChosenLayersTest, EveryWalkFindsTheFirstLayerOfEachIndex) {
  const ChosenCase& c = GetParam();
  const LayerChoice choice{c.indices};
  LineParser parser;
  const std::optional<Activation> kept = parse_unchecked(parser, c.line, LayerRetention::kChosen, choice);
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->features, c.kept);

  LineShape shape;
  ASSERT_TRUE(parser.survey(c.line, shape, choice));
  ASSERT_TRUE(parser.index_unchecked_utf8(c.line, false, choice));
  const std::size_t per = choice.count() + 1;
  ASSERT_EQ(parser.indexed_pieces_per_occurrence(), per);
  ASSERT_EQ(parser.indexed_occurrences(), c.pieces.size());
  ASSERT_EQ(shape.chosen_lengths.size(), c.pieces.size() * choice.count());
  for (std::size_t k = 0; k < c.pieces.size(); ++k) {
    for (std::size_t piece = 0; piece < per; ++piece) {
      SCOPED_TRACE("occurrence " + std::to_string(k) + ", piece " + std::to_string(piece));
      const PiecePlace place = parser.indexed_pieces()[k * per + piece];
      const std::string& text = c.pieces[k][piece];
      if (text.empty()) {
        EXPECT_EQ(place.offset, PiecePlace::kMissing);
        EXPECT_EQ(shape.chosen_lengths[k * choice.count() + piece - 1], LineShape::kMissing);
        continue;
      }
      ASSERT_NE(place.offset, PiecePlace::kMissing);
      EXPECT_EQ(c.line.substr(place.offset, place.length), text);
      if (piece == 0) continue;
      std::vector<double> values;
      std::size_t end = 0;
      LineParser reader;
      ASSERT_TRUE(reader.read_values(c.line, place.offset, values, end));
      EXPECT_EQ(shape.chosen_lengths[k * choice.count() + piece - 1], values.size());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ChosenLayersTest,
    testing::Values(
        ChosenCase{"StockObjectForm",
                   R"({"linex_index":0,"features":[{"token":"a","layers":[{"index":-1,"values":[1,2]},)"
                   R"({"index":-2,"values":[3, 4]}]}]})",
                   {-2, -1},
                   {{"\"a\"", "[3, 4]", "[1,2]"}},
                   {Feature{"a", {Layer{-1, {1, 2}}, Layer{-2, {3, 4}}}}}},
        ChosenCase{"TokenAndIndexAfterTheirValues",
                   R"({"linex_index":0,"features":[{"layers":[{"values":[5],"index":-3}],"token":"\u0041"}]})",
                   {-3},
                   {{"\"\\u0041\"", "[5]"}},
                   {Feature{"A", {Layer{-3, {5}}}}}},
        ChosenCase{"RepeatedIndexGivesItsFirst", R"([0,[["a",[[-1,[1]],[-1,[2]],[0,[3]]]]]])", {-1, 0},
                   {{"\"a\"", "[1]", "[3]"}},
                   {Feature{"a", {Layer{-1, {1}}, Layer{0, {3}}}}}},
        ChosenCase{"IndexChosenTwice", R"([0,[["a",[[-1,[1]]]]]])", {-1, -1},
                   {{"\"a\"", "[1]", "[1]"}},
                   {Feature{"a", {Layer{-1, {1}}}}}},
        ChosenCase{"MissingLayers", R"([0,[["a",[[-1,[1]]]],["b",[]]]])", {-2, -1},
                   {{"\"a\"", "", "[1]"}, {"\"b\"", "", ""}},
                   {Feature{"a", {Layer{-1, {1}}}}, Feature{"b", {}}}},
        ChosenCase{"MinusZeroIsZero", R"([0,[["a",[[-0,[7]]]]]])", {0},
                   {{"\"a\"", "[7]"}},
                   {Feature{"a", {Layer{0, {7}}}}}},
        ChosenCase{"ExtremeIndices", R"([0,[["a",[[4294967295,[2]],[-4294967295,[1]]]]]])",
                   {-4294967295LL, 4294967295LL},
                   {{"\"a\"", "[1]", "[2]"}},
                   {Feature{"a", {Layer{4294967295LL, {2}}, Layer{-4294967295LL, {1}}}}}}),
    [](const testing::TestParamInfo<ChosenCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Cases, RejectionReasonTest,
    testing::Values(
        ReasonCase{"Empty", "@@", "empty line"},
        ReasonCase{"WhitespaceOnly", "@@ \t ", "empty line"},
        ReasonCase{"SecondRecord", "[0,[]] @@[1,[]]", "text after the record"},
        ReasonCase{"ByteOrderMark", "@@\xEF\xBB\xBF[0,[]]", "byte-order mark (the file must be UTF-8 without one)"},
        ReasonCase{"ByteOrderMarkAfterBlank", " @@\xEF\xBB\xBF{}", "byte-order mark (the file must be UTF-8 without one)"},
        ReasonCase{"OtherByteAtStart", "@@\xEF\xBB[0,[]]", "expected an object or an array"},
        ReasonCase{"NullRecord", "[0,[@@null]]", "expected an object or an array"},
        ReasonCase{"EmptyObject", "{@@}", "missing key 'linex_index'"},
        ReasonCase{"MissingFeatures", R"({"linex_index":1@@})", "missing key 'features'"},
        ReasonCase{"MissingLayers", R"([0,[{"token":"a"@@}]])", "missing key 'layers'"},
        ReasonCase{"DuplicateIndex", R"({"linex_index":1,"features":[],@@"linex_index":1})",
                   "duplicate key 'linex_index'"},
        ReasonCase{"DuplicateValues", R"([0,[["a",[{"index":0,"values":[],@@"values":[]}]]]])",
                   "duplicate key 'values'"},
        ReasonCase{"NegativeSentence", "[@@-1,[]]", "sentence number 'linex_index' is negative"},
        ReasonCase{"NegativeLayer", R"([0,[["a",[[0,[]],[@@-1,[]]]]]])", "layer index 'index' is negative"},
        ReasonCase{"FractionalLayer", R"([0,[["a",[[@@1.5,[]]]]]])",
                   "layer index 'index' is not a plain integer (no fraction, no exponent)"},
        ReasonCase{"ExponentLayer", R"([0,[["a",[{"index":@@1e0,"values":[]}]]]])",
                   "layer index 'index' is not a plain integer (no fraction, no exponent)"},
        ReasonCase{"LargeSentence", "[@@4294967296,[]]", "sentence number 'linex_index' is above 4294967295"},
        ReasonCase{"LeadingZeroSentence", "[0@@7,[]]", "a JSON number has no leading zeros"},
        ReasonCase{"ArrayOfOne", "[7@@]", "expected ',' before the second of two fields"},
        ReasonCase{"ArrayOfThree", "[7,[]@@,1]", "expected ']' after the second of two fields"},
        ReasonCase{"NullFeatures", "[0,@@null]", "expected an array"},
        ReasonCase{"NumberToken", "[0,[[@@1,[]]]]", "expected a string"},
        ReasonCase{"MissingColon", R"({"linex_index" @@0,"features":[]})", "expected ':'"},
        ReasonCase{"MissingMemberComma", R"({"linex_index":0 @@"features":[]})", "expected ',' or '}'"},
        ReasonCase{"UnquotedKey", "{@@linex_index:0}", "expected a string key"},
        ReasonCase{"TrailingComma", R"([0,[["a",[[0,[1,@@]]]]]])", "expected a number"},
        ReasonCase{"MissingComma", R"([0,[["a",[[0,[1 @@2]]]]]])", "expected ',' or ']'"},
        ReasonCase{"LeadingZero", R"([0,[["a",[[0,[-0@@0]]]]]])", "a JSON number has no leading zeros"},
        ReasonCase{"BareStop", R"([0,[["a",[[0,[1.@@]]]]]])", "a JSON number needs a digit after '.'"},
        ReasonCase{"BareFraction", R"([0,[["a",[[0,[-@@.5]]]]]])", "a JSON number needs a digit before '.'"},
        ReasonCase{"EmptyExponent", R"([0,[["a",[[0,[1e+@@]]]]]])", "an exponent without digits"},
        ReasonCase{"EmptyNegativeExponent", R"([0,[["a",[[0,[1E-@@]]]]]])", "an exponent without digits"},
        ReasonCase{"NaN", R"([0,[["a",[[0,[1]],[1,[@@NaN]]]]]])", "NaN and Infinity are not JSON numbers"},
        ReasonCase{"NegativeInfinity", R"([0,[["a",[[0,[-@@Infinity]]]]]])", "NaN and Infinity are not JSON numbers"},
        ReasonCase{"LowerCaseInf", R"([0,[["a",[[0,[@@inf]]]]]])", "NaN and Infinity are not JSON numbers"},
        ReasonCase{"PlusSign", R"([0,[["a",[[0,[@@+1]]]]]])", "a JSON number has no plus sign"},
        ReasonCase{"Word", R"([0,[["a",[[0,[@@nul]]]]]])", "expected a number"},
        ReasonCase{"TooLarge", R"([0,[["a",[[0,[@@2e308]]]]]])", "number out of range"},
        ReasonCase{"TooLargeInLaterLayer", R"([0,[["a",[[0,[1]],[1,[0.5,@@1e400]]]]]])",
                   "number out of range"},
        ReasonCase{"RawTab", "[0,[[\"a@@\tb\",[]]]]", "raw control character in a string"},
        ReasonCase{"UnknownEscape", R"([0,[["a@@\x41",[]]]])", "invalid escape"},
        ReasonCase{"NonHexEscape", R"([0,[["@@\u12g4",[]]]])", "invalid escape"},
        ReasonCase{"LoneHighSurrogate", R"([0,[["ab@@\ud83d",[]]]])", "unpaired surrogate escape"},
        ReasonCase{"SecondHalfNotLow", R"([0,[["@@\ud83d\u0041",[]]]])", "unpaired surrogate escape"},
        ReasonCase{"Unclosed", R"([0,[["abc@@)", "the line ends inside the record (each record must stand whole on one line)"},
        ReasonCase{"PrettyPrinted", "{@@", "the line ends inside the record (each record must stand whole on one line)"},
        ReasonCase{"PrettyPrintedMember", R"(  @@"linex_index": 0,)", "expected an object or an array"},
        ReasonCase{"UnclosedEscape", R"([0,[["abc@@\)", "invalid escape"},
        ReasonCase{"InvalidUtf8", "[0,[[\"a@@\xFF\",[]]]]", "invalid UTF-8 in a string"},
        ReasonCase{"SkippedBadLiteral", R"({"x":@@tru,"linex_index":0,"features":[]})", "expected a value"},
        ReasonCase{"SkippedLoneMinus", R"({"x":[-@@],"linex_index":0,"features":[]})",
                   "a minus sign without digits"},
        ReasonCase{"SkippedNaN", R"({"x":@@NaN,"linex_index":0,"features":[]})",
                   "NaN and Infinity are not JSON numbers"},
        ReasonCase{"SkippedLeadingZero", R"({"x":[0@@1],"linex_index":0,"features":[]})",
                   "a JSON number has no leading zeros"},
        ReasonCase{"SkippedTrailingMemberComma", R"({"x":{"a":1,@@},"linex_index":0,"features":[]})",
                   "expected a string key"},
        ReasonCase{"SkippedMismatchedClose", R"({"x":[1@@},"linex_index":0,"features":[]})",
                   "expected ',' or ']'"}),
    [](const testing::TestParamInfo<ReasonCase>& info) { return info.param.name; });

std::string with_skipped(const std::string& value) {
  return R"({"linex_index":4,"skipped":)" + value + R"(,"features":[]})";
}

TEST(LineParser, SkipsValuesNestedAThousandLevelsDeep) {
  std::string open, close;
  for (int level = 0; level < 1000; ++level) {
    open += level % 2 ? "{\"k\":" : "[";
    close.insert(0, level % 2 ? "}" : "]");
  }
  EXPECT_EQ(from_line(with_skipped(open + "1" + close)), sentence(4));
  EXPECT_FALSE(from_line(with_skipped(open + "1" + close.substr(1))).has_value());
}

TEST(LineParser, SkipsAMillionNestedArraysWithoutRecursion) {
  const std::size_t depth = 1'000'000;
  const std::string open(depth, '[');
  const std::string close(depth, ']');
  EXPECT_EQ(from_line(with_skipped(open + close)), sentence(4));
  EXPECT_FALSE(from_line(with_skipped(open)).has_value());
  EXPECT_FALSE(from_line(open).has_value());
}

TEST(LineParser, FirstOnlyRetentionKeepsTheFirstLayerAfterCheckingAll) {
  const std::string line = R"([0,[["a",[[5,[1,2]],{"values":[3],"index":6},[7,[4]]]],["b",[]]]])";
  std::optional<Activation> all = from_line(line, LayerRetention::kAll);
  std::optional<Activation> first = from_line(line, LayerRetention::kFirstOnly);
  ASSERT_TRUE(all.has_value());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(all->features[0].layers.size(), 3u);
  EXPECT_EQ(*first, sentence(0, {Feature{"a", {Layer{5, {1.0, 2.0}}}}, Feature{"b", {}}}));
}

// The walk for a copy converts each first layer where the plain walk checks
// it: the same pieces, and the values from_line reads.
TEST(LineParser, IndexingForACopyConvertsTheFirstLayers) {
  const std::string line =
      R"({"features":[["a",[[5,[1,-2.5e-3,0.1]],{"values":[3],"index":6}]],["b",[]],)"
      R"({"layers":[{"values":[],"index":1},[2,[7]]],"token":"c"},["d",[{"values":[1e-320,4],"index":0}]]],)"
      R"("linex_index":3})";
  LineParser parser;
  const std::optional<Activation> read = parser.from_line(line, LayerRetention::kFirstOnly);
  ASSERT_TRUE(read.has_value());
  for (const bool keep_tokens : {false, true}) {
    SCOPED_TRACE(keep_tokens ? "tokens kept" : "tokens read again");
    std::span<const double> values;
    ASSERT_TRUE(parser.index_unchecked_utf8(line, keep_tokens));
    EXPECT_FALSE(parser.indexed_values(0, values));
    const std::vector<PiecePlace> plain = parser.indexed_pieces();
    ASSERT_TRUE(parser.index_unchecked_utf8(line, keep_tokens, kFirstLayer, true));
    EXPECT_EQ(parser.indexed_pieces(), plain);
    ASSERT_EQ(parser.indexed_occurrences(), read->features.size());
    for (std::size_t i = 0; i < read->features.size(); ++i) {
      ASSERT_TRUE(parser.indexed_values(i, values));
      const std::vector<Layer>& layers = read->features[i].layers;
      EXPECT_EQ(std::vector<double>(values.begin(), values.end()),
                layers.empty() ? std::vector<double>{} : layers.front().values)
          << "occurrence " << i;
    }
  }
  // Layers chosen by index are checked as before, and read by the copy.
  std::span<const double> values;
  ASSERT_TRUE(parser.index_unchecked_utf8(line, false, LayerChoice{{6}}, true));
  EXPECT_FALSE(parser.indexed_values(0, values));
}

// A line holds no more converted values than the bound and one list: the
// lists that start past it are only checked, for the copy to read.
TEST(LineParser, IndexingForACopyConvertsUpToABoundALine) {
  const std::size_t per_list = LineParser::kMostConvertedValues * 3 / 8;
  std::string list = "[";
  for (std::size_t i = 0; i < per_list; ++i) list += i == 0 ? "1" : ",1";
  list += "]";
  std::string line = "[0,[";
  for (int k = 0; k < 4; ++k) line += std::string(k == 0 ? "" : ",") + "[\"t\",[[0," + list + "]]]";
  line += "]]";
  LineParser parser;
  ASSERT_TRUE(parser.index_unchecked_utf8(line, false, kFirstLayer, true));
  std::span<const double> values;
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(parser.indexed_values(i, values)) << i;
    EXPECT_EQ(values.size(), per_list);
  }
  EXPECT_FALSE(parser.indexed_values(3, values));
  EXPECT_NE(parser.indexed_pieces()[7].offset, PiecePlace::kMissing);
}

TEST(LineParser, ListsCarryNoSpareCapacity) {
  std::string values = "[";
  for (int k = 0; k < 769; ++k) values += (k ? "," : "") + std::to_string(k) + ".5";
  values += "]";
  std::string line = "[0,[";
  for (int k = 0; k < 13; ++k) {
    line += std::string(k ? "," : "") + "[\"tok\",[[0," + values + "],[1,[]],[2,[]]]]";
  }
  line += "]]";
  std::optional<Activation> parsed = from_line(line);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->features.capacity(), 13u);
  for (const Feature& feature : parsed->features) {
    EXPECT_EQ(feature.layers.capacity(), 3u);
    EXPECT_EQ(feature.layers[0].values.size(), 769u);
    EXPECT_EQ(feature.layers[0].values.capacity(), 769u);
    EXPECT_EQ(feature.layers[0].values[768], 768.5);
  }
}

TEST(LineParser, ReusedParserForgetsRejectedLines) {
  LineParser parser;
  EXPECT_FALSE(parse_unchecked(parser, R"([0,[["a",[[0,[1,2,x]]]]]])", LayerRetention::kAll).has_value());
  std::optional<Activation> next = parse_unchecked(parser, R"([1,[["b",[[0,[3]]]]]])", LayerRetention::kAll);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(*next, sentence(1, {Feature{"b", {Layer{0, {3.0}}}}}));
}

// The reader accepts a line only when parse_unchecked_utf8 does (and the
// check of a file only when survey does), and checks
// the whole line's UTF-8 only after a rejection: that is the old verdict
// (UTF-8 first, then syntax) only if the checking parse accepts exactly the
// lines that are UTF-8 and parse. Non-ASCII bytes are put everywhere a
// scanner could meet them: tokens, keys, skipped strings with and without
// escapes, after an escape, between tokens, after the record.
TEST(LineParser, CheckingUtf8AcceptsExactlyTheUtf8LinesThatParse) {
  const std::vector<std::string> templates = {
      R"([0,[["tok@en",[[0,[1.5,-2]]]]]])",
      R"({"linex_index":0,"features":[{"to@ken":"a@b","layers":[{"index":1,"values":[3]}]}]})",
      R"({"x@":"s@k\u00e9p@","linex_index":0,"features":[],"y":["@",{"@":"\n@"}]})",
      R"([0,[["a\n@b\u0041@",[]]]])",
      R"([0,[["ab",[]]]]@)",
      R"(@[0,[]])",
      R"([0,[["a@",[[0,[1@]]]]]])",
  };
  const std::vector<std::string> pieces = {
      "\xC3\xA9", "\xC4\xA0", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC3", "\xE2\x82", "\xF0\x9F\x98",
      "\xFF", "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x80\xAF", "\xC3\"",
      "\xE2\x82\\n", "", "\xC3\xA9\xBF"};
  std::mt19937 engine(5);
  LineParser checking;
  LineParser plain;
  LineParser indexing;
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    for (char c : templates[engine() % templates.size()]) {
      if (c == '@') {
        line += pieces[engine() % pieces.size()];
      } else {
        line += c;
      }
    }
    const bool expected = is_valid_utf8(line) && parse_unchecked(plain, line, LayerRetention::kAll).has_value();
    const std::optional<Activation> got = checking.from_line(line, LayerRetention::kFirstOnly);
    ASSERT_EQ(got.has_value(), expected) << line;
    // The indexing walk of a two-reading conversion decides alike, also
    // where it converts for a copy.
    ASSERT_EQ(indexing.index_unchecked_utf8(line, true, kFirstLayer, round % 2 == 1), expected) << line;
    if (!expected) {
      EXPECT_EQ(indexing.rejection(), checking.rejection()) << line;
    }
    if (got) {
      EXPECT_EQ(*got, *parse_unchecked(plain, line, LayerRetention::kFirstOnly)) << line;
      ++accepted;
    }
    LineShape shape;
    ASSERT_EQ(checking.survey(line, shape), expected) << line;
    // The checking parse leaves the plain one as it was.
    ASSERT_EQ(parse_unchecked(checking, line, LayerRetention::kAll).has_value(),
              parse_unchecked(plain, line, LayerRetention::kAll).has_value())
        << line;
  }
  EXPECT_GT(accepted, 1000);
}

}  // namespace
}  // namespace ondravane
