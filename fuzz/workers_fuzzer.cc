// Fuzzes the readings on worker threads against the readings on one: the
// fuzz input, as a file, is converted and checked with one job and with two
// or three workers at tiny chunk sizes, in-process through the core, and
// every outcome must be identical: the stage messages, the failure, the
// output's bytes, the malformed line, every field of the check's report.
// The conversion on workers is also made of the file's bytes read once (as
// a pipe's or decompressed text), read again from the copy the first
// reading makes of them.
//
// The first two bytes choose the options (filter or not, its numbers) and
// the workers and chunk size; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "converter/check.h"
#include "converter/input/input_file.h"
#include "converter/pipeline.h"
#include "memory_files.h"
#include "support/failure.h"

namespace {

using ondravane::CheckReport;
using ondravane::ConversionOptions;

[[noreturn]] void report(const char* what, std::string_view file) {
  std::fprintf(stderr, "worker readings differ from one thread: %s\nfile (%zu bytes): %.*s\n", what,
               file.size(), static_cast<int>(file.size() > 2000 ? 2000 : file.size()), file.data());
  std::abort();
}

struct Outcome {
  std::string printed;
  std::string failure;
  std::string output;
  std::optional<ondravane::MalformedLine> malformed;
};

// The bytes of a file as a source that can only be read in order.
class ReadOnce : public ondravane::ByteSource {
 public:
  explicit ReadOnce(ondravane::InputFile& file) : file_(file) {}
  std::size_t read(char* into, std::size_t room) override { return file_.read(into, room); }
  std::uint64_t bar_length() const override { return file_.bar_length(); }

 private:
  ondravane::InputFile& file_;
};

Outcome convert(const fuzzing::MemoryFile& input, const fuzzing::MemoryFile& output,
                const fuzzing::MemoryFile& printed, const ConversionOptions& options, bool read_once = false) {
  ondravane::ConversionInput source{input.path(), false, {}};
  if (read_once) {
    source.decode = [](ondravane::InputFile& file) -> std::unique_ptr<ondravane::ByteSource> {
      return std::make_unique<ReadOnce>(file);
    };
  }
  Outcome outcome;
  output.clear();
  fuzzing::with_stdout_in(printed, [&] {
    try {
      outcome.malformed = ondravane::convert(source, output.path(), options).malformed;
      outcome.failure = "<no failure>";
    } catch (const ondravane::Failure& failure) {
      outcome.failure = failure.what();
    } catch (const std::bad_alloc&) {
      outcome.failure = "<out of memory>";
    }
  });
  outcome.printed = printed.contents();
  outcome.output = output.contents();
  return outcome;
}

std::string check_failure(const std::string& path, CheckReport& report, unsigned jobs, std::size_t chunk) {
  try {
    report = ondravane::check_file(path, 3, jobs, chunk);
  } catch (const ondravane::Failure& failure) {
    return failure.what();
  }
  return "<no failure>";
}

bool same_reports(const CheckReport& a, const CheckReport& b) {
  const auto same_counts = [](const ondravane::DistinctCounts& x, const ondravane::DistinctCounts& y) {
    return x.entries == y.entries && x.others == y.others;
  };
  const auto& w = a.warnings;
  const auto& v = b.warnings;
  return a.problems == b.problems && a.problem_count == b.problem_count && a.lines == b.lines &&
         a.sentences == b.sentences && a.occurrences == b.occurrences && a.header_length == b.header_length &&
         a.reading_stops == b.reading_stops && same_counts(a.layers_per_occurrence, b.layers_per_occurrence) &&
         same_counts(a.first_layer_lengths, b.first_layer_lengths) &&
         w.token_with_space == v.token_with_space && w.token_with_line_break == v.token_with_line_break &&
         w.length_differs == v.length_differs && w.repeated_sentence == v.repeated_sentence &&
         w.empty_token == v.empty_token && w.joined_token == v.joined_token;
}

constexpr std::size_t kChunkSizes[] = {1, 7, 64, 300, 4096};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const fuzzing::MemoryFile input("input"), output("output"), printed("printed");
  const std::string_view file(reinterpret_cast<const char*>(data) + 2, size - 2);
  input.assign(file);

  ConversionOptions options;
  if (data[0] & 1) options.min = (data[0] >> 1) & 3;
  options.keep = ((data[0] >> 3) & 7) - 1;
  options.seed = data[0] >> 6;
  const unsigned workers = 2 + (data[1] & 1);
  const std::size_t chunk = kChunkSizes[(data[1] >> 1) % std::size(kChunkSizes)];

  options.jobs = 1;
  const Outcome one = convert(input, output, printed, options);
  options.jobs = workers;
  options.chunk_bytes = chunk;
  const Outcome many = convert(input, output, printed, options);
  if (many.printed != one.printed) report("stage messages", file);
  if (many.failure != one.failure) report("failure", file);
  if (many.output != one.output) report("output bytes", file);
  if (many.malformed != one.malformed) report("malformed line", file);
  const Outcome once = convert(input, output, printed, options, true);
  if (once.printed != one.printed) report("stage messages, read once", file);
  if (once.failure != one.failure) report("failure, read once", file);
  if (once.output != one.output) report("output bytes, read once", file);
  if (once.malformed != one.malformed) report("malformed line, read once", file);

  CheckReport checked_once, checked_many;
  const std::string on_one = check_failure(input.path(), checked_once, 1, ondravane::kDefaultChunkBytes);
  const std::string by_workers = check_failure(input.path(), checked_many, workers, chunk);
  if (on_one != by_workers) report("check failure", file);
  if (!same_reports(checked_once, checked_many)) report("check report", file);
  return 0;
}
