// The first reading on worker threads. The calling thread cuts the file into
// chunks of whole lines; a worker checks and indexes each line of a chunk as
// the one-thread reading does, stopping at the first line that fails; the
// calling thread then merges the chunks in file order, numbering lines and
// tokens and advancing the bar, and meets a failure exactly where the
// one-thread reading would.
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "converter/line/line_parser.h"
#include "converter/input/chunk_cutter.h"
#include "converter/input/line_source.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/ordered_workers.h"
#include "converter/workers/parallel_readings.h"
#include "converter/tokens/token_marks.h"
#include "converter/json/utf8.h"
#include "progress/progress_bar.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

struct LineChunk : LineBatch {
  bool number_tokens = false;

  // Filled by the worker, for the lines it accepted, in order.
  LineParser parser;
  std::vector<IndexedLine> lines;
  std::vector<OccurrencePlace> places;
  std::string tokens;                       // with number_tokens: texts, marks removed
  std::vector<std::size_t> token_ends;      // where each text ends in `tokens`
  // The line after the accepted ones, when one failed: rejected (with why)
  // or raised an exception; and whether it is valid UTF-8.
  bool rejected = false;
  Rejection rejection;
  std::exception_ptr error;
  bool valid_utf8 = true;

  void clear_results() {
    lines.clear();
    places.clear();
    tokens.clear();
    token_ends.clear();
    rejected = false;
    error = nullptr;
    valid_utf8 = true;
  }
};

void index_chunk(LineChunk& chunk, const std::atomic<bool>& stopping) {
  chunk.clear_results();
  std::string token;
  std::size_t offset = 0;
  for (const std::uint64_t length : chunk.lengths) {
    if (stopping.load(std::memory_order_relaxed)) return;
    const std::string_view raw(chunk.text.data() + offset, length);
    offset += length;
    const std::string_view line = without_terminator(raw);
    bool accepted = false;
    try {
      if (line.size() >= OccurrencePlace::kNoLayer) {
        fail("a line longer than 4 GiB cannot be converted from a regular file");
      }
      accepted = chunk.parser.index_unchecked_utf8(line, chunk.number_tokens);
    } catch (...) {
      chunk.error = std::current_exception();
    }
    if (chunk.error || !accepted) {
      chunk.valid_utf8 = is_valid_utf8(raw);
      chunk.rejected = !chunk.error;
      if (chunk.rejected) chunk.rejection = chunk.parser.rejection();
      return;
    }
    const std::vector<OccurrencePlace>& places = chunk.parser.indexed_places();
    chunk.lines.push_back(IndexedLine{raw.size(), chunk.parser.indexed_linex_index(),
                                      static_cast<std::uint32_t>(places.size())});
    chunk.places.insert(chunk.places.end(), places.begin(), places.end());
    if (chunk.number_tokens) {
      for (std::size_t i = 0; i < places.size(); ++i) {
        token.assign(chunk.parser.indexed_token(i));
        remove_token_marks(token);
        chunk.tokens += token;
        chunk.token_ends.push_back(chunk.tokens.size());
      }
    }
  }
}

}  // namespace

IndexRead index_records_in_parallel(const InputFile& file, bool number_tokens, unsigned jobs,
                                    std::size_t chunk_bytes) {
  IndexRead read;
  CorpusIndex& index = read.index;
  index.numbered = number_tokens;
  ProgressBar bar(file.size());
  ChunkCutter cutter(file.fd(), chunk_bytes);
  OrderedWorkers<LineChunk, decltype(&index_chunk)> workers(jobs, std::size_t{jobs} * kChunksPerWorker,
                                                          &index_chunk);
  std::uint64_t number = 0;
  for (;;) {
    while (workers.has_room()) {
      LineChunk& chunk = workers.free_chunk();
      chunk.number_tokens = number_tokens;
      if (!cutter.fill(chunk)) break;
      workers.submit();
    }
    if (!workers.pending()) break;
    LineChunk& chunk = workers.oldest();
    std::size_t offset = 0;
    std::size_t place = 0;
    for (const IndexedLine& line : chunk.lines) {
      ++number;
      read.bytes += line.length;
      bar.inc(without_terminator(std::string_view(chunk.text.data() + offset, line.length)).size() + 1);
      offset += line.length;
      index.lines.push_back(line);
      for (std::uint32_t k = 0; k < line.occurrences; ++k, ++place) {
        index.values_at.push_back(chunk.places[place].values);
        if (number_tokens) {
          const std::size_t begin = place == 0 ? 0 : chunk.token_ends[place - 1];
          const std::string_view token(chunk.tokens.data() + begin, chunk.token_ends[place] - begin);
          index.token_numbers.push_back(index.tokens.number_of(token));
        } else {
          index.tokens_at.push_back(chunk.places[place].token);
        }
      }
    }
    if (chunk.error || chunk.rejected) {
      const std::uint64_t length = chunk.lengths[chunk.lines.size()];
      ++number;
      read.bytes += length;
      if (!chunk.valid_utf8) fail_unwrap(describe_invalid_utf8());
      bar.inc(without_terminator(std::string_view(chunk.text.data() + offset, length)).size() + 1);
      if (chunk.error) std::rethrow_exception(chunk.error);
      print_line("Error parsing line\n");
      read.malformed = MalformedLine{number, chunk.rejection};
      read.index = CorpusIndex{};
      read.index.numbered = number_tokens;
      return read;
    }
    workers.release_oldest();
  }
  cutter.raise_read_error();
  bar.finish_and_clear();
  return read;
}

}  // namespace ondravane
