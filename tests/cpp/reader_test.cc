#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "converter/line_source.h"
#include "converter/records.h"
#include "support/failure.h"
#include "capture_stdout.h"
#include "failure_of.h"

namespace ondravane {
namespace {

// A scratch directory for the files of one test, removed afterwards.
class ReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/reader_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string write_file(const std::string& content, const std::string& name = "input.jsonl") {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string dir_;
};

using test_support::capture_stdout;

struct FileCase {
  const char* name;
  std::string content;
  std::vector<std::uint32_t> sentences;  // linex_index of each record read
  bool rejected;                         // prints "Error parsing line" and yields nothing
};

class ReaderFileTest : public ReaderTest, public testing::WithParamInterface<FileCase> {};

TEST_P(ReaderFileTest, ReadsRecordsInOrderOrRejectsTheFile) {
  const FileCase& c = GetParam();
  const std::string path = write_file(c.content);
  ActivationList list;
  const std::string printed = capture_stdout([&] { list = Activation::from_file(path); });
  EXPECT_EQ(printed, c.rejected ? "Error parsing line\n" : "");
  std::vector<std::uint32_t> sentences;
  for (const Activation& activation : list) sentences.push_back(activation.linex_index);
  EXPECT_EQ(sentences, c.sentences);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderFileTest,
    testing::Values(FileCase{"EmptyFile", "", {}, false},
                    FileCase{"NoFinalLineFeed", "[1,[]]\n[2,[]]", {1, 2}, false},
                    FileCase{"FinalLineFeed", "[1,[]]\n[2,[]]\n", {1, 2}, false},
                    FileCase{"TrailingEmptyLine", "[1,[]]\n[2,[]]\n\n", {}, true},
                    FileCase{"MalformedSecondOfThree", "[1,[]]\n[2,[]\n[3,[]]\n", {}, true},
                    FileCase{"CrLf", "[1,[]]\r\n[2,[]]\r\n", {1, 2}, false},
                    FileCase{"CrCrLf", "[1,[]]\r\r\n[2,[]]\r\n", {1, 2}, false},
                    FileCase{"CrOnly", "[1,[]]\r[2,[]]\r", {}, true},
                    FileCase{"WhitespaceLine", "[1,[]]\n \t\n", {}, true},
                    FileCase{"SameSentenceTwice", "[5,[]]\n{\"features\":[],\"linex_index\":5}\n[4,[]]",
                             {5, 5, 4}, false}),
    [](const testing::TestParamInfo<FileCase>& info) { return info.param.name; });

struct CleaningCase {
  const char* name;
  const char* written;  // as it stands in the JSON string
  const char* cleaned;
};

class TokenCleaningTest : public ReaderTest, public testing::WithParamInterface<CleaningCase> {};

TEST_P(TokenCleaningTest, RemovesMarkersInOrder) {
  const std::string token = std::string("\"") + GetParam().written + "\"";
  const std::string path = write_file("[0,[[" + token + ",[[0,[1]]]],[" + token + ",[]]]]\n");
  ActivationList list = Activation::from_file(path);
  ASSERT_EQ(list.size(), 1u);
  ASSERT_EQ(list[0].features.size(), 2u);
  EXPECT_EQ(list[0].features[0].token, GetParam().cleaned);
  EXPECT_EQ(list[0].features[1].token, GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenCleaningTest,
    testing::Values(CleaningCase{"Suffix", "##ing", "ing"}, CleaningCase{"SpaceMark", "\xC4\xA0the", "the"},
                    CleaningCase{"Inner", "a##b", "ab"}, CleaningCase{"ThreeHashes", "###", "#"},
                    CleaningCase{"FourHashes", "####", ""},
                    CleaningCase{"HashesBroughtTogether", "#\xC4\xA0#", "##"},
                    CleaningCase{"TwoSpaceMarks", "\xC4\xA0\xC4\xA0", ""},
                    CleaningCase{"Escaped", "\\u0120x", "x"},
                    CleaningCase{"Untouched", "plain#", "plain#"}),
    [](const testing::TestParamInfo<CleaningCase>& info) { return info.param.name; });

TEST_F(ReaderTest, KeepsOnlyTheFirstLayerOfEachToken) {
  const std::string path = write_file("[0,[[\"a\",[[3,[1,2]],[4,[5]]]]]]\n");
  ActivationList list = Activation::from_file(path);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].features[0].layers, (std::vector<Layer>{Layer{3, {1.0, 2.0}}}));
}

TEST_F(ReaderTest, ReadsALineLongerThanTheBlockBuffer) {
  std::string values;
  for (int k = 0; k < 200000; ++k) values += (k ? "," : "") + std::to_string(k) + ".25";
  ASSERT_GT(values.size(), 4 * LineSource::kBlockSize);
  const std::string path = write_file("[1,[]]\n[2,[[\"t\",[[0,[" + values + "]]]]]]\r\n[3,[]]");
  ActivationList list = Activation::from_file(path);
  ASSERT_EQ(list.size(), 3u);
  const std::vector<double>& read = list[1].features[0].layers[0].values;
  ASSERT_EQ(read.size(), 200000u);
  EXPECT_EQ(read.front(), 0.25);
  EXPECT_EQ(read.back(), 199999.25);
  EXPECT_EQ(list[2].linex_index, 3u);
}

std::string failure_message(const std::function<void()>& body) {
  return test_support::failure_of([&] { capture_stdout(body); });
}

const std::string kUnwrap = "called `Result::unwrap()` on an `Err` value: ";

TEST_F(ReaderTest, FailsWithTheSystemErrorOfEachStep) {
  const std::string missing = dir_ + "/missing.jsonl";
  EXPECT_EQ(failure_message([&] { Activation::from_file(missing); }),
            kUnwrap + "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  EXPECT_EQ(failure_message([&] { Activation::from_file(dir_ + "/no/such/dir.jsonl"); }),
            kUnwrap + "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  const std::string file = write_file("[1,[]]\n");
  EXPECT_EQ(failure_message([&] { Activation::from_file(file + "/below"); }),
            kUnwrap + "Os { code: 20, kind: NotADirectory, message: \"Not a directory\" }");
  EXPECT_EQ(failure_message([&] { Activation::from_file(dir_); }),
            kUnwrap + "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }");
  EXPECT_EQ(failure_message([&] { Activation::from_file(std::string_view("a\0b", 3)); }),
            kUnwrap +
                "Error { kind: InvalidInput, message: \"file name contained an unexpected NUL byte\" }");
}

TEST_F(ReaderTest, FailsWhenPermissionIsDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const std::string path = write_file("[1,[]]\n");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  EXPECT_EQ(failure_message([&] { Activation::from_file(path); }),
            kUnwrap + "Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" }");
}

TEST_F(ReaderTest, InvalidUtf8FailsUnlikeAMalformedRecord) {
  const std::string invalid_utf8 =
      kUnwrap + "Error { kind: InvalidData, message: \"stream did not contain valid UTF-8\" }";
  // A truncated sequence, a byte that never occurs, an encoded surrogate.
  for (const std::string content :
       {"[1,[]]\n[2,[[\"\xC3\",[]]]]\n", "[1,[]]\n[2,[]]\n\xFF", "[1,[[\"\xED\xA0\x80\",[]]]]"}) {
    const std::string path = write_file(content);
    EXPECT_EQ(failure_message([&] { Activation::from_file(path); }), invalid_utf8) << content;
  }
  // The parser checks only the strings it walks, and the whole line only
  // once it rejects it: invalid UTF-8 must still win over every parse verdict.
  for (const std::string content : {
           // Inside the strings of otherwise valid lines: a token, a key, a
           // skipped value, after an escape.
           "[1,[[\"ab\xC3(\",[]]]]\n", "{\"linex_index\":1,\"x\xFF\":0,\"features\":[]}\n",
           "{\"linex_index\":1,\"x\":[\"\xE0\x80\xAF\"],\"features\":[]}\n",
           "[1,[[\"a\\n\xF4\x90\x80\x80\",[]]]]\n",
           // In lines that are also malformed, before and after the fault.
           "[1,[[\"\xC3\",[]]]\n", "[1,[x[\"\xC3\",[]]]]\n",
           // After a complete record, and where a terminator would stand.
           "[1,[]]\xFF\n", "[1,[]] \xC3\xA9\x80\n", "[1,[]]\n[2,[]]\xE2\x82\r\n"}) {
    const std::string path = write_file(content);
    EXPECT_EQ(failure_message([&] { Activation::from_file(path); }), invalid_utf8) << content;
  }
  // A malformed line ends the reading before an invalid line after it.
  const std::string path = write_file("[1,[]\n\xFF\n");
  ActivationList list;
  EXPECT_EQ(capture_stdout([&] { list = Activation::from_file(path); }), "Error parsing line\n");
  EXPECT_TRUE(list.empty());
}

// Splitting must not depend on where the reads happen to end.
TEST_F(ReaderTest, LineSourceSplitsAlikeForEveryBlockSize) {
  const std::string content = "ab\n\ncde\r\n\r\nlonger line here\nx";
  const std::vector<std::string> expected = {"ab\n", "\n", "cde\r\n", "\r\n", "longer line here\n", "x"};
  const std::string path = write_file(content);
  for (std::size_t block = 1; block <= content.size() + 1; ++block) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    LineSource source(fd, block);
    std::vector<std::string> lines;
    while (std::optional<std::string_view> line = source.next_line()) lines.emplace_back(*line);
    EXPECT_FALSE(source.next_line().has_value());
    ::close(fd);
    EXPECT_EQ(lines, expected) << "block size " << block;
  }
}

}  // namespace
}  // namespace ondravane
