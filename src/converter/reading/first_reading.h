// The rules of the first reading of a file, written once for every number
// of threads: a chunk's lines are checked one after another until one is not
// accepted (on whichever thread works on the chunk), and the calling thread
// takes them in file order, numbering them and advancing the bar, and meets
// the line that stopped the work exactly as a reading line by line does: a
// line that is not UTF-8 fails before it counts on the bar and before its
// syntax is judged, a malformed one prints "Error parsing line" and ends the
// reading with the bar left unfinished, and one whose check raised (running
// out of memory) raises after counting as a line checked first would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>
#include <vector>

#include "converter/input/byte_source.h"
#include "converter/input/chunk_ranges.h"
#include "converter/input/chunk_reader.h"
#include "converter/json/rejection.h"
#include "converter/json/utf8.h"
#include "converter/line/line_parser.h"
#include "converter/line/malformed_line.h"
#include "converter/workers/chunk_loop.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/ordered_workers.h"
#include "progress/progress_bar.h"
#include "support/console.h"
#include "support/system_error.h"

namespace ondravane {

// A chunk of lines and what the work found in it so far. Each reading adds
// its own results (and result_bytes(), what they hold).
struct LineChunk {
  ChunkBytes text;
  std::size_t worked = 0;  // bytes of the chunk's lines the work has been through
  LineParser parser;       // kept from chunk to chunk with its buffers

  // From the last pass of the work: where it started, the raw lengths of the
  // lines it accepted, and the line after them when one stopped it.
  std::size_t pass_start = 0;
  std::vector<std::uint64_t> lengths;
  enum class Stop { kNone, kRejected, kError } stop = Stop::kNone;
  std::uint64_t stop_length = 0;
  Rejection rejection;
  std::exception_ptr error;
  bool valid_utf8 = true;

  // Memory held, input and results, for the budget of chunks in flight.
  std::size_t held_bytes() const { return text.capacity() + lengths.capacity() * sizeof(std::uint64_t); }
};

// Worker side: checks the lines of `chunk` from where the work stands with
// `accept(raw, line)` (the raw line and the line without its terminator),
// which keeps what it needs in the chunk and returns whether the line was
// accepted; `results()` is the bytes the chunk's results hold.
template <typename Chunk, typename Accept, typename Results>
void work_lines(Chunk& chunk, const WorkShift& shift, Accept&& accept, Results&& results) {
  load_lines(chunk.text, shift);
  chunk.pass_start = chunk.worked;
  chunk.lengths.clear();
  chunk.stop = LineChunk::Stop::kNone;
  chunk.error = nullptr;
  const std::string_view text = chunk.text.lines();
  while (chunk.worked < text.size()) {
    if (shift.stopping() || results() >= kResultBytesPerChunk) return;
    const std::string_view raw = line_at(text, chunk.worked);
    bool accepted = false;
    try {
      accepted = accept(raw, without_terminator(raw));
      if (accepted) chunk.lengths.push_back(raw.size());
    } catch (...) {
      chunk.error = std::current_exception();
    }
    if (chunk.error || !accepted) {
      chunk.stop = chunk.error ? LineChunk::Stop::kError : LineChunk::Stop::kRejected;
      chunk.stop_length = raw.size();
      chunk.valid_utf8 = is_valid_utf8(raw);
      if (!chunk.error) chunk.rejection = chunk.parser.rejection();
      return;
    }
    chunk.worked += raw.size();
  }
}

// The calling thread's count of what it has taken.
struct LinesTaken {
  std::uint64_t number = 0;  // lines, counted from 1
  std::uint64_t bytes = 0;   // terminators included
};

// The bar over a first reading: each line advances it by its length
// without terminator plus one, or to where the source says the bytes taken
// so far bring it.
class ReadingBar {
 public:
  explicit ReadingBar(ByteSource& source) : source_(source), bar_(source.bar_length()) {}
  // After the line `text` (terminator removed), with `taken` bytes taken.
  void line(std::string_view text, std::uint64_t taken) {
    const std::optional<std::uint64_t> position = source_.bar_position_after(taken);
    bar_.inc(position ? *position - std::min(*position, bar_.position()) : text.size() + 1);
  }
  void finish_and_clear() { bar_.finish_and_clear(); }

 private:
  ByteSource& source_;
  ProgressBar bar_;
};

// Calling thread: takes the lines of the last pass in file order, keeping
// each with `keep(i)` (the i-th line of the pass). Returns the malformed
// line that ended the reading, if one did; raises the failure of a line
// that is not UTF-8 or whose check raised.
template <typename Chunk, typename Keep>
std::optional<MalformedLine> take_lines(Chunk& chunk, LinesTaken& taken, ReadingBar& bar, Keep&& keep) {
  const std::string_view text = chunk.text.lines();
  std::size_t offset = chunk.pass_start;
  for (std::size_t i = 0; i < chunk.lengths.size(); ++i) {
    const std::uint64_t length = chunk.lengths[i];
    ++taken.number;
    taken.bytes += length;
    bar.line(without_terminator(text.substr(offset, length)), taken.bytes);
    offset += length;
    keep(i);
  }
  if (chunk.stop == LineChunk::Stop::kNone) return std::nullopt;
  ++taken.number;
  taken.bytes += chunk.stop_length;
  if (!chunk.valid_utf8) fail_unwrap(describe_invalid_utf8());
  bar.line(without_terminator(text.substr(offset, chunk.stop_length)), taken.bytes);
  if (chunk.error) std::rethrow_exception(chunk.error);
  // One bad line discards the whole file; the bar is left unfinished.
  print_line("Error parsing line\n");
  return MalformedLine{taken.number, chunk.rejection};
}

// The whole first reading of `source` under a bar over its bytes, on `jobs`
// threads (1: the calling thread alone). `work(chunk, shift)` runs
// work_lines with the reading's own rule; `keep(chunk, i)` takes the i-th
// line of the chunk's last pass. Returns the malformed line that ended the
// reading, if one did; `taken` counts what was read.
template <typename Chunk, typename Work, typename Keep>
std::optional<MalformedLine> read_lines(ByteSource& source, unsigned jobs, std::size_t chunk_bytes,
                                        Work work, Keep&& keep, LinesTaken& taken) {
  ReadingBar bar(source);
  const unsigned threads = jobs > 1 ? jobs : 0;
  OrderedWorkers<Chunk, Work> workers(threads, std::size_t{jobs} * kChunksPerWorker,
                                      std::size_t{jobs} * kBytesInFlightPerWorker, std::move(work));
  std::optional<MalformedLine> malformed;
  const auto take = [&](Chunk& chunk) {
    malformed = take_lines(chunk, taken, bar, [&](std::size_t i) { keep(chunk, i); });
    return !malformed;
  };
  // Workers read a file that can be read at any offset themselves, each
  // its range; anything else is read in order by this thread.
  bool finished;
  if (!workers.inline_work() && source.ranged_fd() >= 0) {
    ChunkRanges ranges(source.ranged_fd(), source.ranged_size(), chunk_bytes,
                       std::size_t{jobs} * kSpareBytesPerWorker);
    finished = run_chunks_in_order(ranges, workers, take);
  } else {
    ChunkReader reader(source, chunk_bytes, kBytesInFlightPerWorker);
    finished = run_chunks_in_order(reader, workers, take);
    if (finished) reader.raise_read_error();
  }
  if (!finished) return malformed;
  bar.finish_and_clear();
  return std::nullopt;
}

}  // namespace ondravane
