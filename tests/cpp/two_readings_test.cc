// Converting an input in two readings must be indistinguishable from
// converting it in memory, whether the second reading reads the file again
// or the copy the first made of an input read once, and must fail cleanly
// when the file changes between the readings.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "capture_stdout.h"
#include "converter/input/input_file.h"
#include "converter/line/line_parser.h"
#include "converter/pipeline.h"
#include "converter/reader.h"
#include "converter/writer.h"
#include "failure_of.h"
#include "generated_corpus.h"
#include "in_memory_conversion.h"

namespace ondravane {
namespace {

using test_support::capture_stdout;
using test_support::failure_of;
using namespace test_support::corpus;

// The conversion of `content` fed through a FIFO, read once.
Result run_through_fifo(const std::string& dir, const std::string& content, const std::string& output,
                        const ConversionOptions& options) {
  const std::string fifo = dir + "/in.fifo";
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread feeder([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    for (std::size_t at = 0; fd >= 0 && at < content.size();) {
      const ssize_t n = ::write(fd, content.data() + at, content.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(fd);
  });
  Result result = run_conversion(fifo, output, options);
  feeder.join();
  ::unlink(fifo.c_str());
  return result;
}

class TwoReadingsTest : public ScratchDir, public testing::WithParamInterface<CorpusCase> {};

// The same bytes in memory (the reference), through a regular file read
// again and through a FIFO read once, on one thread and on three with small
// chunks: messages, failure, output file and the malformed line.
TEST_P(TwoReadingsTest, MatchesTheInMemoryConversion) {
  const CorpusCase& c = GetParam();
  ConversionOptions options;
  options.min = c.min;
  options.keep = 3;
  options.seed = 7;
  ConversionOptions on_workers = options;
  on_workers.jobs = 3;
  on_workers.chunk_bytes = 700;
  for (unsigned seed : {1u, 2u, 3u}) {
    std::uint64_t fault_line = 0;
    const std::string content = with_fault(generated_corpus(seed, 40), c.fault, c.where, fault_line);
    const std::string regular = dir_ + "/in.jsonl";
    write_whole(regular, content);
    Result in_memory;
    in_memory.printed = capture_stdout([&] {
      in_memory.failure = failure_of([&] { in_memory.malformed = convert_in_memory(regular, dir_ + "/memory.txt", options); });
    });
    in_memory.output = read_whole(dir_ + "/memory.txt");
    const Result two_readings = run_conversion(regular, dir_ + "/two.txt", options);
    const Result read_once = run_through_fifo(dir_, content, dir_ + "/once.txt", options);
    const Result read_once_on_workers = run_through_fifo(dir_, content, dir_ + "/once-workers.txt", on_workers);

    SCOPED_TRACE("seed " + std::to_string(seed));
    for (const Result* result : {&two_readings, &read_once, &read_once_on_workers}) {
      EXPECT_EQ(result->printed, in_memory.printed);
      EXPECT_EQ(result->failure, in_memory.failure);
      EXPECT_EQ(result->output, in_memory.output);
      ASSERT_EQ(result->malformed.has_value(), c.fault == Fault::kMalformed);
      if (c.fault == Fault::kMalformed) {
        EXPECT_EQ(result->malformed->number, fault_line);
        EXPECT_EQ(result->malformed->rejection, (Rejection{18, "expected a number"}));
      }
    }
    ASSERT_EQ(in_memory.malformed.has_value(), c.fault == Fault::kMalformed);
    const bool writes_layerless = c.fault == Fault::kLayerless && !c.min;
    if (writes_layerless) {
      EXPECT_EQ(in_memory.failure, "index out of bounds: the len is 0 but the index is 0");
    } else if (c.fault == Fault::kNotUtf8) {
      EXPECT_NE(in_memory.failure.find("stream did not contain valid UTF-8"), std::string::npos);
    } else {
      EXPECT_EQ(in_memory.failure, "<no failure>");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpora, TwoReadingsTest, testing::ValuesIn(corpus_cases()),
                         [](const testing::TestParamInfo<CorpusCase>& info) {
                           return info.param.name;
                         });

// What stock dumps are converted into with the options that choose what is
// written: the same through two readings of a file and through a FIFO read
// once, failing exactly at
// the occurrence the fault puts there unless the filter drops it.
class StockDumpTest : public ScratchDir,
                      public testing::WithParamInterface<std::tuple<VectorCase, StockFault, bool>> {};

TEST_P(StockDumpTest, TwoReadingsMatchAnInputReadOnce) {
  const auto& [vectors, fault, filtered] = GetParam();
  ConversionOptions options;
  if (filtered) options.min = 2;
  options.keep = 3;
  options.seed = 7;
  options.vectors = vectors.vectors;
  for (const auto& [seed, dimension] : {std::pair{1u, 3}, std::pair{2u, 400}}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::string content = with_stock_fault(stock_corpus(seed, 30, dimension), fault, Where::kMiddle, dimension);
    const std::string regular = dir_ + "/in.jsonl";
    write_whole(regular, content);
    const Result two_readings = run_conversion(regular, dir_ + "/two.txt", options);
    const Result read_once = run_through_fifo(dir_, content, dir_ + "/once.txt", options);
    EXPECT_EQ(two_readings.printed, read_once.printed);
    EXPECT_EQ(two_readings.failure, read_once.failure);
    EXPECT_EQ(two_readings.output, read_once.output);
    if (!filtered && stock_fault_fails(vectors.vectors, fault)) {
      EXPECT_EQ(two_readings.failure.rfind("line 16: the occurrence 'odd' (sentence 3, position 0) ", 0), 0u)
          << two_readings.failure;
    } else {
      EXPECT_EQ(two_readings.failure, "<no failure>");
      EXPECT_GT(two_readings.output.size(), 100u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, StockDumpTest,
    testing::Combine(testing::ValuesIn(vector_cases()),
                     testing::Values(StockFault::kNone, StockFault::kMissingLayer, StockFault::kLayerLengths,
                                     StockFault::kOtherLength),
                     testing::Bool()),
    [](const auto& info) { return stock_case_name(info.param); });

// Changes made to the file between its readings. On a file system whose
// timestamps are too coarse to show the change, only the bytes read again
// can tell: `rereads_change` says whether the second reading meets changed
// bytes (and must fail) or only bytes it never reads again (and must write
// what the first reading saw); with the filter's token numbers the tokens
// are not read again, which `rereads_when_numbered` says.
struct ChangeCase {
  const char* name;
  std::function<void(const std::string& path)> change;
  bool rereads_change;
  bool rereads_when_numbered;
};

// Rewrites the file in place with `content` and gives it back its old
// modification time, so that only the change time and the lines themselves
// can tell.
void rewrite_keeping_time(const std::string& path, const std::string& content) {
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  write_whole(path, content);
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

constexpr const char* kIndexedFile =
    "[0,[[\"ab\",[[0,[1.5,2]],[1,[3]]]]]]\n"
    "[1,[[\"c\",[[0,[0.25]]]],[\"d\",[[0,[4]]]]]]\n";

constexpr const char* kChangedFailure =
    "the input file changed while it was being converted (appended to, truncated or "
    "rewritten); no complete output was written";

// A change, and whether the first reading numbers the tokens (as with the
// filter).
class InputChangeTest : public ScratchDir,
                        public testing::WithParamInterface<std::tuple<ChangeCase, bool>> {
 protected:
  // The second reading of the file indexed before the change, through the
  // descriptor opened before it (`coarse_times` false) or through one
  // opened after it, which sees no change of identity or times, as a file
  // system with one-second timestamps would show none. Returns the failure.
  std::string convert_across_the_change(bool coarse_times) {
    input_ = dir_ + "/in.jsonl";
    output_ = dir_ + "/out.txt";
    write_whole(input_, kIndexedFile);
    InputFile file(input_);
    EXPECT_TRUE(file.can_read_twice());
    IndexRead read = index_records(file, numbered());
    EXPECT_FALSE(read.malformed);
    EXPECT_TRUE(file.first_reading_complete(read.bytes));
    change().change(input_);
    std::optional<InputFile> reopened;
    if (coarse_times) reopened.emplace(input_);
    std::string failure;
    capture_stdout([&] {
      failure = failure_of([&] {
        write_indexed(coarse_times ? *reopened : file, read.index, nullptr, read.index.occurrences(), output_);
      });
    });
    return failure;
  }

  const ChangeCase& change() const { return std::get<0>(GetParam()); }
  bool numbered() const { return std::get<1>(GetParam()); }

  std::string input_;
  std::string output_;
};

TEST_P(InputChangeTest, FailsBeforeWritingAnInconsistentFile) {
  EXPECT_EQ(convert_across_the_change(false), kChangedFailure);
}

// The output is the conversion of the file as the first reading saw it, or
// the conversion fails: never a line mixing two versions.
TEST_P(InputChangeTest, ChangedBytesReadAgainFailEvenWhenTimesCannotTell) {
  const std::string failure = convert_across_the_change(true);
  if (numbered() ? change().rereads_when_numbered : change().rereads_change) {
    EXPECT_EQ(failure, kChangedFailure);
  } else {
    EXPECT_EQ(failure, "<no failure>");
    EXPECT_EQ(read_whole(output_), "3 2\nab:0:0 1.5 2\nc:1:0 0.25\nd:1:1 4\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, InputChangeTest,
    testing::Combine(testing::Values(
        ChangeCase{"Appended",
                   [](const std::string& path) {
                     std::ofstream(path, std::ios::app) << "[2,[]]\n";
                   },
                   false, false},
        ChangeCase{"Truncated", [](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 20), 0); },
                   true, true},
        ChangeCase{"LinesOfOtherLengths",
                   [](const std::string& path) {
                     rewrite_keeping_time(path, "[1,[[\"c\",[[0,[0.25]]]],[\"d\",[[0,[4]]]]]]\n"
                                                "[0,[[\"ab\",[[0,[1.5,2]],[1,[3]]]]]]\n");
                   },
                   true, true},
        ChangeCase{"TokenMoved",
                   [](const std::string& path) {
                     rewrite_keeping_time(path, "[0,[[ \"a\",[[0,[1.5,2]],[1,[3]]]]]]\n"
                                                "[1,[[\"c\",[[0,[0.25]]]],[\"d\",[[0,[4]]]]]]\n");
                   },
                   true, false},
        ChangeCase{"ValueNoLongerANumber",
                   [](const std::string& path) {
                     rewrite_keeping_time(path, "[0,[[\"ab\",[[0,[1.5,2]],[1,[3]]]]]]\n"
                                                "[1,[[\"c\",[[0,[0.2x]]]],[\"d\",[[0,[4]]]]]]\n");
                   },
                   true, true},
        // Same sizes, same shapes: only the bytes themselves differ.
        ChangeCase{"TokenRewritten",
                   [](const std::string& path) {
                     rewrite_keeping_time(path, "[0,[[\"NE\",[[0,[1.5,2]],[1,[3]]]]]]\n"
                                                "[1,[[\"c\",[[0,[0.25]]]],[\"d\",[[0,[4]]]]]]\n");
                   },
                   true, false},
        ChangeCase{"ValueRewritten",
                   [](const std::string& path) {
                     rewrite_keeping_time(path, "[0,[[\"ab\",[[0,[1.5,2]],[1,[3]]]]]]\n"
                                                "[1,[[\"c\",[[0,[7.25]]]],[\"d\",[[0,[4]]]]]]\n");
                   },
                   true, true},
        ChangeCase{"LaterLayerRewritten",
                   [](const std::string& path) {
                     rewrite_keeping_time(path, "[0,[[\"ab\",[[0,[1.5,2]],[1,[9]]]]]]\n"
                                                "[1,[[\"c\",[[0,[0.25]]]],[\"d\",[[0,[4]]]]]]\n");
                   },
                   false, false}),
                     testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Numbered" : "");
    });

// A line of more values than the first reading converts for the copy: its
// later lists are copied from their text, converted there, and the output
// is the file's, on one thread and on workers.
TEST_F(ScratchDir, ALineOfManyValuesIsCopiedInPartsAlike) {
  const std::size_t per_list = LineParser::kMostConvertedValues * 3 / 8;
  std::string content = "[0,[";
  // Float32 texts, which the copy holds with steps, and doubles.
  const char* const values[] = {"0.19074603915214539", "-0.001", "0.5"};
  for (int k = 0; k < 5; ++k) {
    content += std::string(k == 0 ? "" : ",") + "[\"t" + std::to_string(k % 2) + "\",[[0,[";
    for (std::size_t i = 0; i < per_list; ++i) content += std::string(i == 0 ? "" : ",") + values[(k + i / 1000) % 3];
    content += "]],[1,[2]]]]";
  }
  content += "]]\n[1,[[\"t0\",[[0,[0.25,-0.9406615495681763]]]]]]\n";
  write_whole(dir_ + "/in.jsonl", content);
  ConversionOptions on_workers;
  on_workers.jobs = 3;
  on_workers.chunk_bytes = 4096;
  for (const ConversionOptions& options : {ConversionOptions{}, on_workers}) {
    const Result file = run_conversion(dir_ + "/in.jsonl", dir_ + "/file.txt", options);
    const Result once = run_through_fifo(dir_, content, dir_ + "/once.txt", options);
    EXPECT_EQ(file.failure, "<no failure>");
    EXPECT_EQ(once.failure, file.failure);
    EXPECT_EQ(once.printed, file.printed);
    EXPECT_EQ(once.output, file.output);
    EXPECT_GT(file.output.size(), 5 * per_list * 4);
  }
}

// With a layer chosen by index, its bytes are what is read again: a rewrite
// of them is noticed, one of the first layer is not, and the output is the
// chosen layer's as the first reading saw it.
TEST_F(ScratchDir, TheChosenLayersAreWhatIsReadAgain) {
  const std::string before = "[0,[[\"ab\",[[-2,[1.5,2]],[-1,[3]]]]]]\n[1,[[\"c\",[[-2,[0.5]],[-1,[7]]]]]]\n";
  const VectorOptions last{VectorRecipe{LayerChoice{{-1}}}};
  for (const bool numbered : {false, true}) {
    for (const bool chosen_rewritten : {false, true}) {
      SCOPED_TRACE(std::string(numbered ? "numbered, " : "") + (chosen_rewritten ? "chosen layer" : "first layer"));
      const std::string input = dir_ + "/in.jsonl";
      const std::string output = dir_ + "/out.txt";
      write_whole(input, before);
      InputFile file(input);
      IndexRead read = index_records(file, numbered, 1, kDefaultChunkBytes, nullptr, last.recipe.layers);
      ASSERT_FALSE(read.malformed);
      std::string after = before;
      const std::string from = chosen_rewritten ? "[7]" : "[0.5]";
      after.replace(after.find(from), from.size(), chosen_rewritten ? "[8]" : "[0.6]");
      rewrite_keeping_time(input, after);
      const InputFile reopened(input);
      std::string failure;
      capture_stdout([&] {
        failure = failure_of([&] {
          write_indexed(reopened, read.index, nullptr, read.index.occurrences(), output, 1, kDefaultChunkBytes,
                        OutputCommit::kAsWritten, last);
        });
      });
      if (chosen_rewritten) {
        EXPECT_EQ(failure, kChangedFailure);
      } else {
        EXPECT_EQ(failure, "<no failure>");
        EXPECT_EQ(read_whole(output), "2 1\nab:0:0 3\nc:1:0 7\n");
      }
    }
  }
}

// A file that grows or shrinks after the first reading met its end, before
// that reading is noted, is noticed then: what was read no longer matches
// the file's size.
TEST_F(ScratchDir, AChangeAtTheEndOfTheFirstReadingIsNoticed) {
  const std::string input = dir_ + "/in.jsonl";
  for (const bool grows : {true, false}) {
    write_whole(input, kIndexedFile);
    InputFile file(input);
    const IndexRead read = index_records(file, false);
    ASSERT_FALSE(read.malformed);
    if (grows) {
      std::ofstream(input, std::ios::app) << "[2,[]]\n";
    } else {
      ASSERT_EQ(::truncate(input.c_str(), 35), 0);  // the first line stays whole
    }
    EXPECT_FALSE(file.first_reading_complete(read.bytes)) << (grows ? "grown" : "shrunk");
  }
}

// Standard input is read twice as a regular file read from its start, and
// once otherwise.
TEST_F(ScratchDir, StandardInputIsReadTwiceOnlyAsAFileFromItsStart) {
  const std::string regular = dir_ + "/in.jsonl";
  write_whole(regular, "[0,[]]\n");
  const int saved = ::dup(STDIN_FILENO);
  const auto as_standard_input = [&](int fd) {
    ASSERT_GE(::dup2(fd, STDIN_FILENO), 0);
    ::close(fd);
  };
  as_standard_input(::open(regular.c_str(), O_RDONLY));
  EXPECT_TRUE(InputFile::standard_input().can_read_twice());
  ::lseek(STDIN_FILENO, 3, SEEK_SET);
  EXPECT_FALSE(InputFile::standard_input().can_read_twice());
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  as_standard_input(pipe_ends[0]);
  EXPECT_FALSE(InputFile::standard_input().can_read_twice());
  ::close(pipe_ends[1]);
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
}

// What peek() shows, read() gives again, from a file and from a pipe.
TEST_F(ScratchDir, PeekedBytesAreReadAgain) {
  const std::string content = "[0,[[\"ab\",[[0,[1]]]]]]\n";
  const std::string regular = dir_ + "/in.jsonl";
  write_whole(regular, content);
  const std::string fifo = dir_ + "/in.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int writer = ::open(fifo.c_str(), O_RDWR);  // so that opening it does not wait
  ASSERT_EQ(::write(writer, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  for (const std::string& path : {regular, fifo}) {
    InputFile file(path);
    EXPECT_EQ(file.peek(4), content.substr(0, 4)) << path;
    EXPECT_EQ(file.peek(2), content.substr(0, 2)) << path;
    std::string read(content.size(), '\0');
    std::size_t got = 0;
    while (got < content.size()) got += file.read(read.data() + got, content.size() - got);
    EXPECT_EQ(read, content) << path;
  }
  ::close(writer);
}

// Which inputs are read twice: only regular files whose size is real.
TEST_F(ScratchDir, OnlyRegularFilesWithRealSizesAreReadTwice) {
  const std::string regular = dir_ + "/in.jsonl";
  write_whole(regular, "[0,[]]\n");
  EXPECT_TRUE(InputFile(regular).can_read_twice());
  const std::string empty = dir_ + "/empty.jsonl";
  write_whole(empty, "");
  EXPECT_FALSE(InputFile(empty).can_read_twice());  // as a generated file of size 0 would be
  EXPECT_FALSE(InputFile("/dev/null").can_read_twice());
  EXPECT_FALSE(InputFile("/proc/self/status").can_read_twice());
  const std::string fifo = dir_ + "/in.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int keep_open = ::open(fifo.c_str(), O_RDWR);  // so that opening it does not wait
  EXPECT_FALSE(InputFile(fifo).can_read_twice());
  ::close(keep_open);
}

}  // namespace
}  // namespace ondravane
