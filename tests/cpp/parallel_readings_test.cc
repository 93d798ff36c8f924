// Converting on worker threads must be indistinguishable from converting on
// one: the same output bytes, messages, failure and malformed line for every
// number of jobs, wherever the chunk boundaries fall; and so must the report
// of the check. Also built with
// ThreadSanitizer by the hardening stage.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/check.h"
#include "converter/input/input_file.h"
#include "converter/pipeline.h"
#include "converter/reader.h"
#include "converter/writer.h"
#include "generated_corpus.h"

namespace ondravane {
namespace {

using namespace test_support::corpus;
using test_support::capture_stdout;
using test_support::failure_of;

// Every field of two check reports, compared one by one.
void expect_same_report(const CheckReport& many, const CheckReport& one) {
  EXPECT_EQ(many.problems, one.problems);
  EXPECT_EQ(many.problem_count, one.problem_count);
  EXPECT_EQ(many.lines, one.lines);
  EXPECT_EQ(many.sentences, one.sentences);
  EXPECT_EQ(many.occurrences, one.occurrences);
  EXPECT_EQ(many.header_length, one.header_length);
  EXPECT_EQ(many.reading_stops, one.reading_stops);
  EXPECT_EQ(many.writing_fails, one.writing_fails);
  for (auto counts : {&CheckReport::layers_per_occurrence, &CheckReport::first_layer_lengths}) {
    EXPECT_EQ((many.*counts).entries, (one.*counts).entries);
    EXPECT_EQ((many.*counts).others, (one.*counts).others);
  }
  for (auto tally : {&CheckWarnings::token_with_space, &CheckWarnings::token_with_line_break,
                     &CheckWarnings::length_differs, &CheckWarnings::repeated_sentence,
                     &CheckWarnings::empty_token, &CheckWarnings::joined_token}) {
    EXPECT_EQ(many.warnings.*tally, one.warnings.*tally);
  }
}

class ParallelReadingsTest : public ScratchDir, public testing::WithParamInterface<CorpusCase> {};

TEST_P(ParallelReadingsTest, EveryJobCountMatchesOneThread) {
  const CorpusCase& c = GetParam();
  for (unsigned seed : {11u, 12u}) {
    std::uint64_t fault_line = 0;
    const std::string content = with_fault(generated_corpus(seed, 60), c.fault, c.where, fault_line);
    const std::string input = dir_ + "/in.jsonl";
    write_whole(input, content);
    ConversionOptions options;
    options.min = c.min;
    options.keep = 3;
    options.seed = seed;
    const Result one = run_conversion(input, dir_ + "/one.txt", options);
    const CheckReport checked_once = check_file(input, 5);
    ASSERT_EQ(checked_once.lines, 60u);
    // The expectations of one thread are checked by the tests of the
    // conversion itself; here the outcome kind is pinned so that a case
    // cannot silently stop exercising its fault.
    ASSERT_EQ(one.malformed.has_value(), c.fault == Fault::kMalformed);
    if (one.malformed) {
      ASSERT_EQ(one.malformed->number, fault_line);
    }
    ASSERT_EQ(one.failure == "<no failure>",
              c.fault == Fault::kNone || c.fault == Fault::kMalformed ||
                  (c.fault == Fault::kLayerless && c.min));
    // Chunks of one line each, of a few lines, of lines of all sizes, and
    // of the whole file.
    for (std::size_t chunk_bytes : {std::size_t{1}, std::size_t{300}, std::size_t{2000},
                                    kDefaultChunkBytes}) {
      for (unsigned jobs : {2u, 3u, 8u}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", chunk " + std::to_string(chunk_bytes) +
                     " bytes, " + std::to_string(jobs) + " jobs");
        options.jobs = jobs;
        options.chunk_bytes = chunk_bytes;
        const Result many = run_conversion(input, dir_ + "/many.txt", options);
        EXPECT_EQ(many.printed, one.printed);
        EXPECT_EQ(many.failure, one.failure);
        EXPECT_EQ(many.output, one.output);
        EXPECT_EQ(many.malformed, one.malformed);
        expect_same_report(check_file(input, 5, jobs, chunk_bytes), checked_once);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpora, ParallelReadingsTest, testing::ValuesIn(corpus_cases()),
                         [](const testing::TestParamInfo<CorpusCase>& info) {
                           return info.param.name;
                         });

// Lines longer than a worker's share of the budget are read on one at a
// time, each once its chunk is the oldest in flight: several of them in a
// row, between short lines, never stall the workers or change a byte.
TEST_F(ScratchDir, LinesLongerThanAWorkersShareMatchOneThread) {
  std::string values = "0.25";
  while (values.size() < kBytesInFlightPerWorker + 1000) values += ",0.125";
  std::string content;
  for (int i = 0; i < 5; ++i) {
    const bool is_long = i == 1 || i == 2 || i == 4;
    content += "[" + std::to_string(i) + ",[[\"t" + std::to_string(i) + "\",[[0,[" +
               (is_long ? values : std::string("1.5")) + "]]]]]]\n";
  }
  const std::string input = dir_ + "/in.jsonl";
  write_whole(input, content);
  ConversionOptions options;
  const Result one = run_conversion(input, dir_ + "/one.txt", options);
  ASSERT_EQ(one.failure, "<no failure>");
  const CheckReport checked_once = check_file(input, 5);
  for (std::size_t chunk_bytes : {std::size_t{4096}, kDefaultChunkBytes}) {
    for (unsigned jobs : {2u, 3u}) {
      SCOPED_TRACE(std::to_string(chunk_bytes) + " bytes, " + std::to_string(jobs) + " jobs");
      options.jobs = jobs;
      options.chunk_bytes = chunk_bytes;
      const Result many = run_conversion(input, dir_ + "/many.txt", options);
      EXPECT_EQ(many.failure, one.failure);
      EXPECT_EQ(many.output, one.output);
      expect_same_report(check_file(input, 5, jobs, chunk_bytes), checked_once);
    }
  }
}

// The options that choose what is written, on stock dumps: every job count
// and chunk size gives the bytes, messages and failure of one thread, and the
// check for those options the same report.
class ParallelStockTest : public ScratchDir,
                          public testing::WithParamInterface<std::tuple<VectorCase, StockFault, bool>> {};

TEST_P(ParallelStockTest, EveryJobCountMatchesOneThread) {
  const auto& [vectors, fault, filtered] = GetParam();
  const int dimension = 40;
  const std::string input = dir_ + "/in.jsonl";
  write_whole(input, with_stock_fault(stock_corpus(21, 50, dimension), fault, Where::kLast, dimension));
  ConversionOptions options;
  if (filtered) options.min = 2;
  options.keep = 3;
  options.vectors = vectors.vectors;
  const Result one = run_conversion(input, dir_ + "/one.txt", options);
  ASSERT_EQ(one.failure == "<no failure>", filtered || !stock_fault_fails(vectors.vectors, fault)) << one.failure;
  const CheckReport checked_once = check_file(input, 5, 1, kDefaultChunkBytes, vectors.vectors);
  ASSERT_EQ(checked_once.problem_count, stock_fault_fails(vectors.vectors, fault) ? 1u : 0u);
  for (std::size_t chunk_bytes : {std::size_t{1}, std::size_t{3000}, kDefaultChunkBytes}) {
    for (unsigned jobs : {2u, 3u}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk_bytes) + " bytes, " + std::to_string(jobs) + " jobs");
      options.jobs = jobs;
      options.chunk_bytes = chunk_bytes;
      const Result many = run_conversion(input, dir_ + "/many.txt", options);
      EXPECT_EQ(many.printed, one.printed);
      EXPECT_EQ(many.failure, one.failure);
      EXPECT_EQ(many.output, one.output);
      expect_same_report(check_file(input, 5, jobs, chunk_bytes, vectors.vectors), checked_once);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParallelStockTest,
    testing::Combine(testing::ValuesIn(vector_cases()),
                     testing::Values(StockFault::kNone, StockFault::kMissingLayer, StockFault::kLayerLengths,
                                     StockFault::kOtherLength),
                     testing::Bool()),
    [](const auto& info) { return stock_case_name(info.param); });

// A file that changes between the readings fails the second one with the
// same message and leaves the same bytes, whatever the number of jobs. The
// change comes after enough output that the writer has handed whole buffers
// to the file, so those bytes count too; the file is opened again after the
// change, so that only the bytes read again can tell (as on a file system
// whose timestamps are too coarse to show it).
TEST_F(ScratchDir, ChangedInputFailsAlikeForEveryJobCount) {
  const std::string content = generated_corpus(5, 3000);
  std::string previous_output;
  std::string previous_failure;
  for (unsigned jobs : {1u, 2u, 3u, 8u}) {
    SCOPED_TRACE(std::to_string(jobs) + " jobs");
    const std::string input = dir_ + "/in.jsonl";
    const std::string output = dir_ + "/out.txt";
    write_whole(input, content);
    InputFile file(input);
    IndexRead read = index_records(file, false, jobs, 4096);
    ASSERT_FALSE(read.malformed);
    ASSERT_TRUE(file.first_reading_complete(read.bytes));
    // Same size, same time, but the last lines are no longer records.
    std::string changed = content;
    changed.replace(changed.size() - 2001, 2000, 2000, 'x');
    {
      struct stat before;
      ASSERT_EQ(::stat(input.c_str(), &before), 0);
      write_whole(input, changed);
      const struct timespec times[2] = {before.st_atim, before.st_mtim};
      ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), times, 0), 0);
    }
    const InputFile reopened(input);
    std::string failure;
    capture_stdout([&] {
      failure = failure_of([&] {
        write_indexed(reopened, read.index, nullptr, read.index.occurrences(), output, jobs, 4096);
      });
    });
    const std::string written = read_whole(output);
    EXPECT_NE(failure.find("the input file changed"), std::string::npos) << failure;
    EXPECT_GT(written.size(), 0u);
    if (jobs > 1) {
      EXPECT_EQ(failure, previous_failure);
      EXPECT_EQ(written, previous_output);
    }
    previous_output = written;
    previous_failure = failure;
  }
}

}  // namespace
}  // namespace ondravane
