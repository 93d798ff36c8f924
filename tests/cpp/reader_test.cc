// Reading activation files: lines, terminators, token marks, failures, and
// the splitting of a file into chunks of lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "converter/check.h"
#include "converter/input/chunk_reader.h"
#include "converter/input/input_file.h"
#include "converter/workers/chunk_size.h"
#include "converter/reader.h"
#include "converter/records.h"
#include "converter/tokens/token_marks.h"
#include "support/failure.h"
#include "capture_stdout.h"
#include "failure_of.h"
#include "record_helpers.h"

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
  std::uint64_t rejected_line;           // not 0: this line prints "Error parsing line" and
                                         // leaves nothing
};

class ReaderFileTest : public ReaderTest, public testing::WithParamInterface<FileCase> {};

TEST_P(ReaderFileTest, ReadsRecordsInOrderOrRejectsTheFile) {
  const FileCase& c = GetParam();
  const std::string path = write_file(c.content);
  RecordsRead read;
  InputFile file(path);
  const std::string printed = capture_stdout([&] { read = read_records(file); });
  const ActivationList& list = read.records;
  const std::optional<MalformedLine>& rejected = read.malformed;
  EXPECT_EQ(printed, c.rejected_line ? "Error parsing line\n" : "");
  EXPECT_EQ(rejected.has_value(), c.rejected_line != 0);
  if (rejected) {
    EXPECT_EQ(rejected->number, c.rejected_line);
  }
  // The check of the file stops the reading at the same line, and flags no
  // other line of these files.
  const CheckReport report = check_file(path, 10);
  EXPECT_EQ(report.reading_stops ? report.reading_stops->line : 0, c.rejected_line);
  EXPECT_EQ(report.problem_count, c.rejected_line ? 1u : 0u);
  EXPECT_EQ(report.sentences, c.rejected_line ? report.lines - 1 : c.sentences.size());
  std::vector<std::uint32_t> sentences;
  for (const Activation& activation : list) sentences.push_back(activation.linex_index);
  EXPECT_EQ(sentences, c.sentences);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderFileTest,
    testing::Values(FileCase{"EmptyFile", "", {}, 0},
                    FileCase{"NoFinalLineFeed", "[1,[]]\n[2,[]]", {1, 2}, 0},
                    FileCase{"FinalLineFeed", "[1,[]]\n[2,[]]\n", {1, 2}, 0},
                    FileCase{"TrailingEmptyLine", "[1,[]]\n[2,[]]\n\n", {}, 3},
                    FileCase{"MalformedSecondOfThree", "[1,[]]\n[2,[]\n[3,[]]\n", {}, 2},
                    FileCase{"CrLf", "[1,[]]\r\n[2,[]]\r\n", {1, 2}, 0},
                    FileCase{"CrCrLf", "[1,[]]\r\r\n[2,[]]\r\n", {1, 2}, 0},
                    FileCase{"CrOnly", "[1,[]]\r[2,[]]\r", {}, 1},
                    FileCase{"WhitespaceLine", "[1,[]]\n \t\n", {}, 2},
                    FileCase{"SameSentenceTwice", "[5,[]]\n{\"features\":[],\"linex_index\":5}\n[4,[]]",
                             {5, 5, 4}, 0}),
    [](const testing::TestParamInfo<FileCase>& info) { return info.param.name; });

struct CleaningCase {
  const char* name;
  const char* written;  // as it stands in the JSON string
  const char* cleaned;
  bool joins;  // text on both sides of a mark comes together
};

class TokenCleaningTest : public ReaderTest, public testing::WithParamInterface<CleaningCase> {};

TEST_P(TokenCleaningTest, RemovesMarkersInOrder) {
  const std::string token = std::string("\"") + GetParam().written + "\"";
  const std::string path = write_file("[0,[[" + token + ",[[0,[1]]]],[" + token + ",[]]]]\n");
  ActivationList list = records_of_file(path);
  ASSERT_EQ(list.size(), 1u);
  ASSERT_EQ(list[0].features.size(), 2u);
  EXPECT_EQ(list[0].features[0].token, GetParam().cleaned);
  EXPECT_EQ(list[0].features[1].token, GetParam().cleaned);
}

TEST_P(TokenCleaningTest, SaysWhetherMarksJoinPieces) {
  const std::string line = std::string("[0,[[\"") + GetParam().written + "\",[]]]]";
  const std::optional<Activation> parsed = from_line(line);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(marks_join_pieces(parsed->features[0].token), GetParam().joins);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenCleaningTest,
    testing::Values(CleaningCase{"Suffix", "##ing", "ing", false},
                    CleaningCase{"SpaceMark", "\xC4\xA0the", "the", false},
                    CleaningCase{"Inner", "a##b", "ab", true}, CleaningCase{"ThreeHashes", "###", "#", false},
                    CleaningCase{"FourHashes", "####", "", false},
                    CleaningCase{"HashesBroughtTogether", "#\xC4\xA0#", "##", true},
                    CleaningCase{"TwoSpaceMarks", "\xC4\xA0\xC4\xA0", "", false},
                    CleaningCase{"InnerSpaceMark", "New\xC4\xA0York", "NewYork", true},
                    CleaningCase{"MarksAtBothEnds", "##a\xC4\xA0", "a", false},
                    CleaningCase{"Escaped", "\\u0120x", "x", false},
                    CleaningCase{"Untouched", "plain#", "plain#", false}),
    [](const testing::TestParamInfo<CleaningCase>& info) { return info.param.name; });

TEST_F(ReaderTest, KeepsOnlyTheFirstLayerOfEachToken) {
  const std::string path = write_file("[0,[[\"a\",[[3,[1,2]],[4,[5]]]]]]\n");
  ActivationList list = records_of_file(path);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].features[0].layers, (std::vector<Layer>{Layer{3, {1.0, 2.0}}}));
}

TEST_F(ReaderTest, ReadsALineLongerThanTheBlockBuffer) {
  std::string values;
  for (int k = 0; k < 200000; ++k) values += (k ? "," : "") + std::to_string(k) + ".25";
  ASSERT_GT(values.size(), kDefaultChunkBytes);
  const std::string path = write_file("[1,[]]\n[2,[[\"t\",[[0,[" + values + "]]]]]]\r\n[3,[]]");
  ActivationList list = records_of_file(path);
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
  EXPECT_EQ(failure_message([&] { records_of_file(missing); }),
            kUnwrap + "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  EXPECT_EQ(failure_message([&] { records_of_file(dir_ + "/no/such/dir.jsonl"); }),
            kUnwrap + "Os { code: 2, kind: NotFound, message: \"No such file or directory\" }");
  const std::string file = write_file("[1,[]]\n");
  EXPECT_EQ(failure_message([&] { records_of_file(file + "/below"); }),
            kUnwrap + "Os { code: 20, kind: NotADirectory, message: \"Not a directory\" }");
  EXPECT_EQ(failure_message([&] { records_of_file(dir_); }),
            kUnwrap + "Os { code: 21, kind: IsADirectory, message: \"Is a directory\" }");
  EXPECT_EQ(failure_message([&] { records_of_file(std::string_view("a\0b", 3)); }),
            kUnwrap +
                "Error { kind: InvalidInput, message: \"file name contained an unexpected NUL byte\" }");
}

TEST_F(ReaderTest, FailsWhenPermissionIsDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const std::string path = write_file("[1,[]]\n");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  EXPECT_EQ(failure_message([&] { records_of_file(path); }),
            kUnwrap + "Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" }");
}

TEST_F(ReaderTest, InvalidUtf8FailsUnlikeAMalformedRecord) {
  const std::string invalid_utf8 =
      kUnwrap + "Error { kind: InvalidData, message: \"stream did not contain valid UTF-8\" }";
  // A truncated sequence, a byte that never occurs, an encoded surrogate.
  for (const std::string content :
       {"[1,[]]\n[2,[[\"\xC3\",[]]]]\n", "[1,[]]\n[2,[]]\n\xFF", "[1,[[\"\xED\xA0\x80\",[]]]]"}) {
    const std::string path = write_file(content);
    EXPECT_EQ(failure_message([&] { records_of_file(path); }), invalid_utf8) << content;
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
    EXPECT_EQ(failure_message([&] { records_of_file(path); }), invalid_utf8) << content;
  }
  // A malformed line ends the reading before an invalid line after it.
  const std::string path = write_file("[1,[]\n\xFF\n");
  ActivationList list;
  EXPECT_EQ(capture_stdout([&] { list = records_of_file(path); }), "Error parsing line\n");
  EXPECT_TRUE(list.empty());
}

// A chunk's lines lie in its buffer (of whole pages) where they lie within
// a page of the input: the kernel's copy of a read is fast on every
// processor only when its source and destination share that offset.
void expect_in_place(const ChunkBytes& chunk, std::uint64_t offset) {
  EXPECT_EQ((reinterpret_cast<std::uintptr_t>(chunk.lines().data()) - offset) % 4096, 0u) << offset;
}

// Splitting must not depend on where the reads happen to end.
TEST_F(ReaderTest, ChunksSplitAlikeForEveryChunkSize) {
  const std::string content = "ab\n\ncde\r\n\r\nlonger line here\nx";
  const std::vector<std::string> expected = {"ab\n", "\n", "cde\r\n", "\r\n", "longer line here\n", "x"};
  const std::string path = write_file(content);
  for (std::size_t chunk_bytes = 1; chunk_bytes <= content.size() + 1; ++chunk_bytes) {
    InputFile file(path);
    ChunkReader reader(file, chunk_bytes);
    ChunkBytes chunk;
    std::vector<std::string> lines;
    std::uint64_t offset = 0;
    while (reader.fill(chunk)) {
      expect_in_place(chunk, offset);
      const std::string_view text = chunk.lines();
      offset += text.size();
      for (std::size_t at = 0; at < text.size();) {
        const std::string_view line = line_at(text, at);
        lines.emplace_back(line);
        at += line.size();
      }
    }
    EXPECT_FALSE(reader.fill(chunk));
    EXPECT_EQ(lines, expected) << "chunk size " << chunk_bytes;
  }
}

// Chunks filled in turn, as a ring serving workers: a buffer that grew for
// lines longer than twice the chunk size is kept for the next fill when it
// is within the bytes kept, and the lines come out the same either way.
TEST_F(ReaderTest, ChunksInTurnKeepBuffersWithinTheBytesKept) {
  std::string content;
  for (int i = 0; i < 12; ++i) content += std::string(3 * 4096 - 1, static_cast<char>('a' + i)) + "\n";
  const std::string path = write_file(content);
  for (const std::size_t kept : {std::size_t{0}, std::size_t{64} << 10}) {
    InputFile file(path);
    ChunkReader reader(file, 4096, kept);
    ChunkBytes ring[3];
    std::string read;
    int fresh = 0;  // fills that found no buffer
    for (std::size_t i = 0;; ++i) {
      ChunkBytes& chunk = ring[i % 3];
      if (i >= 3) reader.release(chunk);  // the oldest, taken
      fresh += chunk.capacity() == 0 ? 1 : 0;
      if (!reader.fill(chunk)) break;
      expect_in_place(chunk, read.size());
      read += chunk.lines();
    }
    EXPECT_EQ(read, content) << kept;
    if (kept == 0) {
      EXPECT_GT(fresh, 6) << "buffers given back";
    } else {
      EXPECT_EQ(fresh, 3) << "buffers kept";
    }
  }
}

}  // namespace
}  // namespace ondravane
