// The parsing cases of a public JSON conformance suite, embedded wherever a
// JSON value may stand in an activation line. Each case's expected verdict
// follows from the reading rules: a skipped value accepts what the JSON
// grammar accepts plus unpaired surrogate escapes; a token is a strict
// string; a list of values also needs every number to convert. A case that
// is not UTF-8 cannot reach the parser at all: the reader stops at it. The
// few cases holding line feeds could not stand in one line of a file; they
// are still parsed whole, where a line feed is whitespace.
#include <dirent.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "converter/line/line_parser.h"
#include "converter/records.h"
#include "converter/json/utf8.h"
#include "record_helpers.h"

namespace ondravane {
namespace {

const std::string kSuiteDir = ONDRAVANE_JSONTESTSUITE_DIR;

// Cases whose bytes are not UTF-8 (latin-1, UTF-16, overlong, surrogate or
// truncated sequences, bytes that never occur in UTF-8).
const std::set<std::string> kNotUtf8 = {
    "i_string_UTF-16LE_with_BOM.json", "i_string_UTF-8_invalid_sequence.json",
    "i_string_UTF8_surrogate_U+D800.json", "i_string_invalid_utf-8.json",
    "i_string_iso_latin_1.json", "i_string_lone_utf8_continuation_byte.json",
    "i_string_not_in_unicode_range.json", "i_string_overlong_sequence_2_bytes.json",
    "i_string_overlong_sequence_6_bytes.json", "i_string_overlong_sequence_6_bytes_null.json",
    "i_string_truncated-utf-8.json", "i_string_utf16BE_no_BOM.json", "i_string_utf16LE_no_BOM.json",
    "n_array_a_invalid_utf8.json", "n_array_invalid_utf8.json", "n_number_invalid-utf-8-in-bigger-int.json",
    "n_number_invalid-utf-8-in-exponent.json", "n_number_invalid-utf-8-in-int.json",
    "n_number_real_with_invalid_utf8_after_e.json",
    "n_object_lone_continuation_byte_in_key_and_trailing_comma.json", "n_string_invalid-utf-8-in-escape.json",
    "n_string_invalid_utf8_after_escape.json", "n_structure_incomplete_UTF8_BOM.json",
    "n_structure_lone-invalid-utf-8.json", "n_structure_single_eacute.json",
};

// Verdicts as a skipped value where the file name's prefix does not decide
// (the implementation-defined cases) or decides otherwise.
const std::map<std::string, bool> kSkippedVerdicts = {
    // Numbers are only checked against the grammar when skipped.
    {"i_number_double_huge_neg_exp.json", true}, {"i_number_huge_exp.json", true},
    {"i_number_neg_int_huge_exp.json", true}, {"i_number_pos_double_huge_exp.json", true},
    {"i_number_real_neg_overflow.json", true}, {"i_number_real_pos_overflow.json", true},
    {"i_number_real_underflow.json", true}, {"i_number_too_big_neg_int.json", true},
    {"i_number_too_big_pos_int.json", true}, {"i_number_very_big_negative_int.json", true},
    // Unpaired surrogate escapes pass in skipped strings and keys.
    {"i_object_key_lone_2nd_surrogate.json", true}, {"i_string_1st_surrogate_but_2nd_missing.json", true},
    {"i_string_1st_valid_surrogate_2nd_invalid.json", true},
    {"i_string_incomplete_surrogate_and_escape_valid.json", true},
    {"i_string_incomplete_surrogate_pair.json", true},
    {"i_string_incomplete_surrogates_escape_valid.json", true},
    {"i_string_invalid_lonely_surrogate.json", true}, {"i_string_invalid_surrogate.json", true},
    {"i_string_inverted_surrogates_U+1D11E.json", true}, {"i_string_lone_second_surrogate.json", true},
    // Nesting depth is unlimited; a byte-order mark is not whitespace.
    {"i_structure_500_nested_arrays.json", true}, {"i_structure_UTF-8_BOM_empty_object.json", false},
};

// Strings that a skipped value accepts but a token does not: their \u
// escapes leave a surrogate unpaired.
const std::set<std::string> kUnpairedSurrogateStrings = {
    "i_string_1st_surrogate_but_2nd_missing.json", "i_string_1st_valid_surrogate_2nd_invalid.json",
    "i_string_incomplete_surrogate_and_escape_valid.json", "i_string_incomplete_surrogate_pair.json",
    "i_string_incomplete_surrogates_escape_valid.json", "i_string_invalid_lonely_surrogate.json",
    "i_string_invalid_surrogate.json", "i_string_inverted_surrogates_U+1D11E.json",
    "i_string_lone_second_surrogate.json",
};

// Lists of numbers that are valid JSON but whose conversion is out of range.
const std::set<std::string> kOutOfRangeNumbers = {
    "i_number_huge_exp.json", "i_number_neg_int_huge_exp.json", "i_number_pos_double_huge_exp.json",
    "i_number_real_neg_overflow.json", "i_number_real_pos_overflow.json",
};

struct SuiteCase {
  std::string name;
  std::string text;
};

std::vector<SuiteCase> load_suite() {
  std::vector<SuiteCase> cases;
  DIR* dir = ::opendir(kSuiteDir.c_str());
  if (dir == nullptr) return cases;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() < 6 || name.substr(name.size() - 5) != ".json") continue;
    std::ifstream in(kSuiteDir + "/" + name, std::ios::binary);
    cases.push_back({name, std::string(std::istreambuf_iterator<char>(in), {})});
  }
  ::closedir(dir);
  return cases;
}

bool skipped_verdict(const std::string& name) {
  auto it = kSkippedVerdicts.find(name);
  if (it != kSkippedVerdicts.end()) return it->second;
  return name[0] == 'y';
}

// The record parser's verdict, which the survey of the line must share.
bool accepted(const std::string& line) {
  const bool parsed = from_line(line).has_value();
  LineParser parser;
  LineShape shape;
  EXPECT_EQ(parser.survey(line, shape), parsed) << line;
  return parsed;
}

// The case between brackets of a one-element array, if it is one.
std::optional<std::string> array_content(const std::string& text) {
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return std::nullopt;
  return text.substr(1, text.size() - 2);
}

class JsonTestSuite : public testing::Test {
 protected:
  void SetUp() override {
    cases_ = load_suite();
    // The cases are kept in the repository: none found is a broken checkout.
    ASSERT_GT(cases_.size(), 300u) << "conformance cases missing from " << kSuiteDir;
  }
  std::vector<SuiteCase> cases_;
};

TEST_F(JsonTestSuite, CasesThatAreNotUtf8StopTheReader) {
  for (const SuiteCase& c : cases_) {
    const std::string line = R"({"linex_index":0,"x":)" + c.text + R"(,"features":[]})";
    EXPECT_EQ(is_valid_utf8(line), !kNotUtf8.contains(c.name)) << c.name;
  }
}

TEST_F(JsonTestSuite, SkippedValuesFollowTheGrammar) {
  int checked = 0;
  for (const SuiteCase& c : cases_) {
    if (kNotUtf8.contains(c.name)) continue;
    const bool expected = skipped_verdict(c.name);
    // The member stands first, last, and inside a nested record.
    EXPECT_EQ(accepted(R"({"x":)" + c.text + R"(,"linex_index":0,"features":[]})"), expected) << c.name;
    EXPECT_EQ(accepted(R"({"linex_index":0,"features":[],"x":)" + c.text + "}"), expected) << c.name;
    EXPECT_EQ(accepted(R"([0,[["t",[{"index":1,"x":)" + c.text + R"(,"values":[]}]]]])"), expected) << c.name;
    ++checked;
  }
  EXPECT_GT(checked, 250);
}

TEST_F(JsonTestSuite, StringCasesAsTokens) {
  int checked = 0;
  for (const SuiteCase& c : cases_) {
    if (c.name.find("_string_") == std::string::npos || kNotUtf8.contains(c.name)) continue;
    std::optional<std::string> content = array_content(c.text);
    if (!content) continue;
    const bool expected = skipped_verdict(c.name) && !kUnpairedSurrogateStrings.contains(c.name);
    EXPECT_EQ(accepted(R"([0,[{"layers":[],"token":)" + *content + "}]]"), expected) << c.name;
    ++checked;
  }
  EXPECT_GT(checked, 70);
}

TEST_F(JsonTestSuite, NumberCasesAsValues) {
  int checked = 0;
  for (const SuiteCase& c : cases_) {
    if (c.name.find("_number") == std::string::npos || kNotUtf8.contains(c.name)) continue;
    if (!array_content(c.text)) continue;
    const bool expected = skipped_verdict(c.name) && !kOutOfRangeNumbers.contains(c.name);
    EXPECT_EQ(accepted(R"([0,[["t",[[0,)" + c.text + "]]]]]"), expected) << c.name;
    ++checked;
  }
  EXPECT_GT(checked, 70);
}

}  // namespace
}  // namespace ondravane
