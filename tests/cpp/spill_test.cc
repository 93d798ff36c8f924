// The copy an input read once keeps for its second reading: where it is
// made, that nothing is left of it in its folder, what it holds, and how it
// fails.
#include "converter/reading/spill.h"

#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "converter/reading/copied_values.h"
#include "failure_of.h"
#include "generated_corpus.h"

namespace ondravane {
namespace {

using test_support::failure_of;
using test_support::corpus::ScratchDir;
namespace fs = std::filesystem;

bool is_empty_folder(const std::string& folder) { return fs::is_empty(folder); }

class SpillTest : public ScratchDir, public testing::WithParamInterface<bool> {};

// Unnamed where the file system allows, named otherwise: either way the
// folder shows nothing while the copy is in use.
TEST_P(SpillTest, IsMadeInTheFirstFolderThatTakesItAndLeavesNothingThere) {
  const std::string missing = dir_ + "/missing";
  Spill copy({"", missing, dir_}, GetParam());
  EXPECT_EQ(copy.folder(), dir_);
  EXPECT_TRUE(is_empty_folder(dir_));
}

TEST_P(SpillTest, HoldsEveryPieceInOrder) {
  // More pieces than one write takes, of every length from 0 to 300 bytes.
  std::mt19937 engine(5);
  std::string text(500000, '\0');
  for (char& c : text) c = static_cast<char>('a' + engine() % 26);
  std::vector<iovec> pieces;
  std::string expected;
  for (std::size_t at = 0, length = 0; at + 300 < text.size(); at += length + engine() % 5) {
    length = engine() % 301;
    pieces.push_back(iovec{text.data() + at, length});
    expected.append(text, at, length);
  }
  ASSERT_GT(pieces.size(), 2u * IOV_MAX);
  Spill copy({dir_}, GetParam());
  const std::size_t half = pieces.size() / 2;
  copy.append(std::span(pieces).first(half));
  copy.append(std::span(pieces).subspan(half));
  EXPECT_EQ(copy.size(), expected.size());
  std::string held(expected.size() + 1, '\0');
  EXPECT_EQ(::pread(copy.reread().fd, held.data(), held.size(), 0), static_cast<ssize_t>(expected.size()));
  held.resize(expected.size());
  EXPECT_EQ(held, expected);
}

INSTANTIATE_TEST_SUITE_P(UnnamedOrNamed, SpillTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

TEST_F(ScratchDir, ACopyThatCannotBeMadeNamesEveryFolderTried) {
  const std::string first = dir_ + "/missing", second = dir_ + "/also missing";
  EXPECT_EQ(failure_of([&] { Spill copy({first, "", second}); }),
            "cannot make the second reading's copy of the input in " + first + " nor in " + second +
                ": called `Result::unwrap()` on an `Err` value: Os { code: 2, kind: NotFound, message: \"No such "
                "file or directory\" }");
}

// The output's folder when the output is a file made there, else the
// temporary folder alone.
TEST_F(ScratchDir, TheCopyGoesBesideTheOutputOrToTheTemporaryFolder) {
  ::setenv("TMPDIR", dir_.c_str(), 1);
  EXPECT_EQ(spill_folders(dir_ + "/out.txt"), (std::vector<std::string>{dir_, dir_}));
  EXPECT_EQ(spill_folders("out.txt"), (std::vector<std::string>{".", dir_}));
  EXPECT_EQ(spill_folders("/dev/null"), (std::vector<std::string>{"", dir_}));
  ::unsetenv("TMPDIR");
  EXPECT_EQ(spill_folders("/dev/stdout"), (std::vector<std::string>{"", "/tmp"}));
}

// A layer's list in the copy: its numbers when they are shorter than its
// text, 4 bytes a value when every double is a float's, read back to the
// same bits.
struct CopiedList {
  const char* name;
  std::string text;
  std::vector<double> values;
  std::size_t held;  // bytes in the copy
};

std::string list_text(const std::vector<double>& values) {
  std::string text = "[";
  for (const double value : values) {
    char number[32];
    std::snprintf(number, sizeof number, "%s%.17g", text.size() > 1 ? ", " : "", value);
    text += number;
  }
  return text + "]";
}

std::vector<CopiedList> copied_lists() {
  const std::vector<double> widened = {0.2905067503452301, -0.0, 1.401298464324817e-45, FLT_MAX, -0.5};
  const std::vector<double> doubles = {0.1, 0.2905067503452301, 1e39, 4.9e-324, -0.0};
  // As the conversion makes them of float32 texts: a unit of the double
  // above or below the float32, on either side of zero, next to exact ones.
  const auto step = [](double value, std::int64_t units) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(value) + static_cast<std::uint64_t>(units));
  };
  const std::vector<double> stepped = {step(0.19074603915214539, 1), step(-0.9406615495681763, 1),
                                       step(0.5, -1), step(-0.5, -1), 0.2905067503452301, 4.9e-324,
                                       -4.9e-324, step(FLT_MAX, -1), step(1.401298464324817e-45, -1)};
  std::vector<double> two_units = stepped;
  two_units.back() = step(0.2905067503452301, 2);
  return {
      {"WidenedFloatsTakeFourBytesEach", list_text(widened), widened, 5 + 4 * widened.size()},
      {"FloatsAUnitAwayTakeAQuarterByteMore", list_text(stepped), stepped, 5 + 4 * stepped.size() + 3},
      {"TwoUnitsAwayMakeEveryValueADouble", list_text(two_units), two_units, 5 + 8 * two_units.size()},
      {"OneDoubleMakesEveryValueADouble", list_text(doubles), doubles, 5 + 8 * doubles.size()},
      {"ShortTextStaysText", "[0, 1.5]", {0, 1.5}, 8},
      {"AnEmptyListStaysText", "[]", {}, 2},
      {"RoundedDecimalsAsDoublesWhenShorter", "[-0.123457, 0.654321, -0.000123, 0.999999, -0.5, 0.25, 0.333333, -0.777777]",
       {-0.123457, 0.654321, -0.000123, 0.999999, -0.5, 0.25, 0.333333, -0.777777}, 5 + 64},
  };
}

class CopiedValuesTest : public testing::TestWithParam<CopiedList> {};

TEST_P(CopiedValuesTest, AreHeldInTheShorterFormAndReadBackExactly) {
  const CopiedList& list = GetParam();
  std::string copy = "x";  // what the copy held before
  append_copied_values(copy, list.text, list.values);
  ASSERT_EQ(copy.size(), 1 + list.held);
  const std::string_view piece = std::string_view(copy).substr(1);
  std::vector<double> read = {7.0};
  if (!holds_copied_numbers(piece)) {
    EXPECT_EQ(piece, list.text);
    return;
  }
  std::size_t used = 0;
  ASSERT_TRUE(read_copied_numbers(piece, read, used));
  EXPECT_EQ(used, list.held);
  ASSERT_EQ(read.size(), list.values.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(read[i]), std::bit_cast<std::uint64_t>(list.values[i])) << i;
  }
  // Held in part (the second reading's first guess of its length was too
  // short), it is not read.
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, list.held - 1}) {
    EXPECT_FALSE(read_copied_numbers(piece.substr(0, cut), read, used)) << cut;
  }
}

INSTANTIATE_TEST_SUITE_P(Lists, CopiedValuesTest, testing::ValuesIn(copied_lists()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ondravane
