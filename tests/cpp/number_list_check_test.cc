// Proving lists of numbers at once must agree with the walk one number at a
// time, for every shape it proves.
#include "converter/json/number_list_check.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "converter/json/cursor.h"
#include "support/instruction_set.h"

namespace ondravane {
namespace {

// The list at the start of `text` walked one number at a time, as the
// checking walk does without the block check: its end and its count.
bool walk_list(std::string_view text, std::size_t& end, std::size_t& count) {
  JsonCursor cursor;
  cursor.reset(text, false);
  count = 0;
  if (!cursor.consume('[')) return false;
  cursor.skip_whitespace();
  if (!cursor.consume(']')) {
    for (;;) {
      if (!cursor.check_number()) return false;
      ++count;
      cursor.skip_whitespace();
      if (cursor.consume(']')) break;
      if (!cursor.consume(',')) return false;
      cursor.skip_whitespace();
    }
  }
  end = cursor.offset();
  return true;
}

struct Proof {
  bool proved = false;
  std::size_t end = 0;
  std::size_t count = 0;

  bool operator==(const Proof&) const = default;
};

Proof prove(std::string_view text) {
  Proof proof;
  if (text.empty() || text.front() != '[') return proof;  // the caller's part
  const char* after = nullptr;
  proof.proved = check_number_list(text.data(), text.data() + text.size(), after, proof.count);
  if (proof.proved) proof.end = static_cast<std::size_t>(after - text.data());
  return proof;
}

// Every test runs on each instruction set's version of the check, the
// machine's own choice among them only being how fast it goes.
class NumberListCheck : public testing::TestWithParam<InstructionSet> {
 protected:
  void SetUp() override {
    if (!instruction_set_supported(GetParam())) {
      GTEST_SKIP() << "this processor lacks " << instruction_set_name(GetParam());
    }
    forced_.emplace(GetParam());
  }

 private:
  std::optional<ForcedInstructionSet> forced_;
};

INSTANTIATE_TEST_SUITE_P(InstructionSets, NumberListCheck, testing::ValuesIn(kInstructionSets),
                         [](const testing::TestParamInfo<InstructionSet>& info) {
                           return std::string(instruction_set_name(info.param));
                         });

// The shapes writers give lists of activations: each must be proved at
// once, whatever falls on the 64-byte block boundaries, and what follows
// the list must not matter.
TEST_P(NumberListCheck, ProvesTheCommonShapesAtEveryAlignment) {
  const char* const numbers[] = {"-0.12345678901234567", "0.5",     "1.2345678901234567e-05",
                                 "-3.0000001E-7",        "12.75",   "0",
                                 "-0.0",                 "100",     "0.00012345678901234567"};
  for (const char* separator : {", ", ","}) {
    for (std::size_t length = 0; length < 40; ++length) {
      std::string list = length % 3 == 0 ? "[" : "[ ";
      for (std::size_t i = 0; i < length; ++i) {
        if (i != 0) list += separator;
        list += numbers[(i * 7 + length) % std::size(numbers)];
      }
      list += "]";
      std::size_t count = 0;
      if (length == 0) list = "[]";
      for (const char* after : {"", "}]}", ", {\"index\": 1, \"values\": [1, 2]}]}"}) {
        const Proof proof = prove(list + after);
        ASSERT_TRUE(proof.proved) << list << after;
        EXPECT_EQ(proof.end, list.size()) << list;
        std::size_t walked_end = 0;
        ASSERT_TRUE(walk_list(list, walked_end, count));
        EXPECT_EQ(proof.count, count) << list;
      }
    }
  }
}

// A random list of good and broken pieces, the shapes the check leaves to
// the walk among them, cut at random or followed by other bytes, which no
// version may read as part of the list.
std::string random_list(std::mt19937& random) {
  static const char* const pieces[] = {
      "0",    "-0",   "7",     "-12.5e-3", "1E-2",  "0.125", "19.5",  "1E-0", "1e5",   "1e+5",
      "01",   "-01",  "1.",    ".5",       "-",     "1e",    "1e-",   "--1",  "1.2.3", "1e-2e-3",
      "1e-2.5", "1.5e-2", "+1",  "1.e-3",  "-.5",   "00",    "0.0",   "e-5",  "1-2",   "1E-5E",
      "12345678901234567890123", "0.0000000000000000000000001", "nan", "[", "]", "\t", "\"x\"",
      // Bytes whose low bits or difference from '0' look like a class's.
      "\xB0", "\xB9", "\xC5", "\xE5", "\xAC", "\x10", "\x7D"};
  static const char* const separators[] = {", ", ",", " , ", ",  ", "", " ", ",,", " ,", ",\t"};
  static const char* const followers[] = {"", "}]}", ", {\"index\": 1, \"values\": [1, 2]}]}", "]\xE5\xB0 -1e"};
  std::string list = random() % 4 == 0 ? "[ " : "[";
  const std::size_t length = random() % 24;
  const bool clean = random() % 2 == 0;  // only pieces and separators proved at once
  for (std::size_t i = 0; i < length; ++i) {
    if (i != 0) list += separators[clean ? random() % 2 : random() % std::size(separators)];
    list += pieces[clean ? random() % 8 : random() % std::size(pieces)];
    if (!clean && random() % 50 == 0) list += std::string(60 + random() % 100, '9');
  }
  list += random() % 8 == 0 ? " ]" : "]";
  if (random() % 6 == 0) list.resize(random() % (list.size() + 1));  // the line ends inside
  list += std::string(random() % 3, ']');
  for (std::size_t n = random() % 40; n > 0; --n) list += followers[random() % std::size(followers)];
  return list;
}

constexpr int kRandomLists = 60000;

// Every list proved at once is one the number-by-number walk accepts, with
// the same end and count.
TEST_P(NumberListCheck, ProvesOnlyWhatTheWalkAccepts) {
  std::mt19937 random(2024);
  std::size_t proved = 0;
  std::size_t accepted = 0;
  for (int n = 0; n < kRandomLists; ++n) {
    const std::string list = random_list(random);
    const Proof proof = prove(list);
    std::size_t end = 0;
    std::size_t count = 0;
    const bool walked = walk_list(list, end, count);
    accepted += walked ? 1 : 0;
    if (!proof.proved) continue;
    ++proved;
    ASSERT_TRUE(walked) << list;
    ASSERT_EQ(proof.end, end) << list;
    ASSERT_EQ(proof.count, count) << list;
  }
  // The random lists exercise both answers.
  EXPECT_GT(proved, kRandomLists / 5);
  EXPECT_GT(accepted, proved);
}

// The versions differ in speed alone: each proves exactly the lists the
// baseline proves, unproved ones included, so that which lists take the
// walk never depends on the machine.
TEST(NumberListCheckVersions, ProveTheSameListsAsTheBaseline) {
  std::vector<InstructionSet> wider;
  for (InstructionSet set : kInstructionSets) {
    if (set != InstructionSet::kSse2 && instruction_set_supported(set)) wider.push_back(set);
  }
  if (!instruction_set_supported(InstructionSet::kSse2) || wider.empty()) {
    GTEST_SKIP() << "this processor runs a single version";
  }
  std::mt19937 random(7);
  for (int n = 0; n < kRandomLists; ++n) {
    const std::string list = random_list(random);
    const Proof baseline = [&] {
      const ForcedInstructionSet forced(InstructionSet::kSse2);
      return prove(list);
    }();
    for (InstructionSet set : wider) {
      const ForcedInstructionSet forced(set);
      ASSERT_EQ(prove(list), baseline) << instruction_set_name(set) << ": " << list;
    }
  }
}

// Digit runs too long to prove cheaply are left to the walk, which decides
// the range of a long integer part.
TEST_P(NumberListCheck, LeavesVeryLongNumbersToTheWalk) {
  EXPECT_FALSE(prove("[" + std::string(400, '9') + "]").proved);
  EXPECT_FALSE(prove("[1, " + std::string(128, '1') + ".5]").proved);
  EXPECT_TRUE(prove("[1, " + std::string(100, '1') + ".5]").proved);
}

}  // namespace
}  // namespace ondravane
