// The second reading on worker threads. The calling thread hands out runs of
// indexed lines; a worker reads and formats their surviving occurrences into
// memory, stopping at the first one that fails; the calling thread writes
// the runs in file order, with the header, the bar and the failures exactly
// where the one-thread writing has them.
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "converter/line/line_parser.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/ordered_workers.h"
#include "converter/workers/parallel_readings.h"
#include "converter/input/piece_reader.h"
#include "converter/tokens/token_marks.h"
#include "converter/writer.h"
#include "progress/progress_bar.h"

namespace ondravane {

namespace {

// Occurrences per run at most (a run holds at least one line), which bounds
// the formatted text a run holds besides its bytes of input lines.
constexpr std::uint64_t kRunOccurrences = 8192;

struct LineRun {
  // What to write, set by the calling thread.
  std::size_t first_line = 0;
  std::size_t end_line = 0;
  std::uint64_t offset = 0;            // of the first line in the file
  std::uint64_t first_occurrence = 0;  // its first occurrence's number

  // Kept from run to run by whichever worker takes the run.
  PieceReader pieces{-1};
  LineParser parser;
  std::string token;
  std::vector<double> values;
  std::uint64_t values_guess = 4096;
  std::uint64_t token_guess = 256;

  // The worker's results: the lines formatted, how many, the dimension of
  // the first, and the failure that stopped the run, if one did (an
  // exception, such as running out of memory, after the complete lines).
  FormattedLines text;
  std::uint64_t written = 0;
  std::size_t first_dimension = 0;
  enum class Stop { kNone, kMissingLayer, kChanged, kError } stop = Stop::kNone;
  std::exception_ptr error;
  std::size_t complete = 0;  // bytes of `text` in complete lines
};

struct RunFormatter {
  const CorpusIndex* index;
  const ChunkedBits* kept;

  void operator()(LineRun& run, const std::atomic<bool>& stopping) const {
    run.text.clear();
    run.written = 0;
    run.stop = LineRun::Stop::kNone;
    run.error = nullptr;
    try {
      format(run, stopping);
    } catch (...) {
      run.text.keep_first(run.complete);
      run.stop = LineRun::Stop::kError;
      run.error = std::current_exception();
    }
  }

  void format(LineRun& run, const std::atomic<bool>& stopping) const {
    run.complete = 0;
    const auto read_values = [&](std::string_view piece, std::size_t& used) {
      return run.parser.read_values(piece, 0, run.values, used);
    };
    const auto read_token = [&](std::string_view piece, std::size_t& used) {
      return run.parser.read_token(piece, 0, run.token, used);
    };
    std::uint64_t occurrence = run.first_occurrence;
    std::uint64_t offset = run.offset;
    for (std::size_t i = run.first_line; i < run.end_line; offset += index->lines[i].length, ++i) {
      if (stopping.load(std::memory_order_relaxed)) return;
      const IndexedLine& shape = index->lines[i];
      std::uint64_t position = 0;
      for (std::uint32_t k = 0; k < shape.occurrences; ++k, ++occurrence) {
        if (kept != nullptr && !(*kept)[occurrence]) continue;
        const std::uint32_t values_at = index->values_at[occurrence];
        if (values_at == OccurrencePlace::kNoLayer) {
          run.stop = LineRun::Stop::kMissingLayer;
          return;
        }
        if (!read_piece(run.pieces, offset, shape.length, values_at, run.values_guess, read_values)) {
          run.stop = LineRun::Stop::kChanged;
          return;
        }
        std::string_view written_token;
        if (index->numbered) {
          written_token = index->tokens.text(index->token_numbers[occurrence]);
        } else {
          if (!read_piece(run.pieces, offset, shape.length, index->tokens_at[occurrence],
                          run.token_guess, read_token)) {
            run.stop = LineRun::Stop::kChanged;
            return;
          }
          remove_token_marks(run.token);
          written_token = run.token;
        }
        if (run.written == 0) run.first_dimension = run.values.size();
        run.text.line(written_token, shape.linex_index, position, run.values);
        run.complete = run.text.bytes().size();
        ++position;
        ++run.written;
      }
    }
  }
};

}  // namespace

void write_indexed_in_parallel(const InputFile& file, const CorpusIndex& index,
                               const ChunkedBits* kept, std::uint64_t total, W2vWriter& writer,
                               unsigned jobs, std::size_t chunk_bytes) {
  std::optional<ProgressBar> bar;
  OrderedWorkers<LineRun, RunFormatter> workers(jobs, std::size_t{jobs} * kChunksPerWorker,
                                                RunFormatter{&index, kept});
  std::size_t next_line = 0;
  std::uint64_t next_offset = 0;
  std::uint64_t next_occurrence = 0;
  for (;;) {
    while (workers.has_room() && next_line < index.lines.size()) {
      LineRun& run = workers.free_chunk();
      run.pieces.use_fd(file.fd());
      run.first_line = next_line;
      run.offset = next_offset;
      run.first_occurrence = next_occurrence;
      std::uint64_t bytes = 0;
      std::uint64_t occurrences = 0;
      do {
        bytes += index.lines[next_line].length;
        occurrences += index.lines[next_line].occurrences;
        ++next_line;
      } while (next_line < index.lines.size() && bytes < chunk_bytes && occurrences < kRunOccurrences);
      run.end_line = next_line;
      next_offset += bytes;
      next_occurrence += occurrences;
      workers.submit();
    }
    if (!workers.pending()) break;
    const LineRun& run = workers.oldest();
    if (run.written != 0) {
      if (!bar) {
        bar.emplace(total);
        writer.header(total, run.first_dimension);
      }
      writer.formatted(run.text.bytes());
      for (std::uint64_t i = 0; i < run.written; ++i) bar->inc(1);
    }
    if (run.stop == LineRun::Stop::kMissingLayer) {
      if (!bar) fail_missing_layer();
      writer.fail_missing_layer();
    }
    if (run.stop == LineRun::Stop::kChanged) fail_input_changed();
    if (run.stop == LineRun::Stop::kError) std::rethrow_exception(run.error);
    workers.release_oldest();
  }
  if (!bar) fail_input_changed();  // the index promised a survivor
  bar->finish_and_clear();
  writer.flush();
}

}  // namespace ondravane
