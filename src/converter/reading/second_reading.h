// The rules of the second reading of an indexed file, written once for
// every number of threads: of each surviving occurrence only its token and
// its first layer are read again, at the offsets the first reading found,
// and formatted either straight into the output file or, on a worker
// thread, into memory that the calling thread writes in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/index/corpus_index.h"
#include "converter/input/piece_reader.h"
#include "converter/line/line_parser.h"
#include "converter/output/w2v_writer.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/work_shift.h"
#include "progress/progress_bar.h"
#include "support/chunked_array.h"

namespace ondravane {

// What stopped the formatting of a chunk of lines before its end.
enum class ChunkStop {
  kNone,
  kMissingLayer,  // a survivor without layers: writing fails there
  kChanged,       // the file is no longer what the first reading indexed
  kFull,          // a worker's share is done; the rest, from this occurrence, is still to do
};

// Reads the pieces of one occurrence again, with buffers kept from one
// occurrence to the next.
class OccurrenceReader {
 public:
  explicit OccurrenceReader(int fd = -1) : pieces_(fd) {}
  void use_fd(int fd) { pieces_.use_fd(fd); }
  // Gives back buffers that grew beyond `limit` bytes.
  void release_beyond(std::size_t limit);

  // The token (marks removed) and first-layer values of occurrence number
  // `occurrence`, in the line of `shape` at `line_offset`. False when the
  // file there is not what was indexed. The views stay valid until the next
  // read.
  bool read(const CorpusIndex& index, std::uint64_t occurrence, std::uint64_t line_offset,
            const IndexedLine& shape, std::string_view& token, std::span<const double>& values);

 private:
  PieceReader pieces_;
  LineParser parser_;
  std::string token_;
  std::vector<double> values_;
  std::uint64_t values_guess_ = 4096;
  std::uint64_t token_guess_ = 256;
};

// A chunk of indexed lines and where its formatting stands: the next
// occurrence to decide, so that a chunk left early can be resumed.
struct IndexedChunk {
  std::size_t line = 0;            // the line being formatted
  std::size_t end_line = 0;        // just past the chunk's last line
  std::uint64_t offset = 0;        // of `line` in the file
  std::uint64_t occurrence = 0;    // the number of the next occurrence in the file
  std::uint32_t in_line = 0;       // its place among its line's occurrences
  std::uint64_t position = 0;      // the number the next survivor of the line is written with
};

// The most bytes of its line that occurrence `occurrence`, the `in_line`-th
// of the line `shape`, can span: up to where the next one starts, or to the
// line's end.
std::uint64_t occurrence_span(const CorpusIndex& index, std::uint64_t occurrence, std::uint32_t in_line,
                              const IndexedLine& shape);

// Formats the survivors of `chunk` (every occurrence of the index, or those
// whose bit of `kept` is set) with `sink.line(token, sentence, position,
// values)` until the chunk's end or a stop; `chunk` is left at the
// occurrence where it stopped. A sink that takes only so much says so with
// `sink.may_read(span)` before an occurrence is read again and
// `sink.fits(token, values)` before it is formatted.
template <typename Sink>
ChunkStop format_chunk(const CorpusIndex& index, const ChunkedBits* kept, IndexedChunk& chunk,
                   OccurrenceReader& reader, Sink& sink, const WorkShift* shift = nullptr) {
  for (; chunk.line < chunk.end_line; chunk.offset += index.lines[chunk.line].length, ++chunk.line) {
    if (shift != nullptr && shift->stopping()) return ChunkStop::kNone;
    const IndexedLine& shape = index.lines[chunk.line];
    for (; chunk.in_line < shape.occurrences; ++chunk.in_line, ++chunk.occurrence) {
      if (kept != nullptr && !(*kept)[chunk.occurrence]) continue;
      if (index.values_at[chunk.occurrence] == OccurrencePlace::kNoLayer) return ChunkStop::kMissingLayer;
      if (!sink.may_read(occurrence_span(index, chunk.occurrence, chunk.in_line, shape))) return ChunkStop::kFull;
      std::string_view token;
      std::span<const double> values;
      if (!reader.read(index, chunk.occurrence, chunk.offset, shape, token, values)) return ChunkStop::kChanged;
      if (!sink.fits(token, values)) return ChunkStop::kFull;
      sink.line(token, shape.linex_index, chunk.position, values);
      ++chunk.position;
    }
    chunk.in_line = 0;
    chunk.position = 0;
  }
  return ChunkStop::kNone;
}

// What a worker formats of a chunk: its lines' text, how many, and the
// dimension of the first (for a header still to be written).
struct FormattedChunk {
  FormattedLines text;
  std::uint64_t written = 0;
  std::size_t first_dimension = 0;
  std::size_t complete = 0;  // bytes of `text` in complete lines

  void clear() {
    text.clear();
    written = 0;
    complete = 0;
  }
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values) {
    if (written == 0) first_dimension = values.size();
    text.line(token, sentence, position, values);
    complete = text.bytes().size();
    ++written;
  }
  bool may_read(std::uint64_t span) const { return span <= kPieceBytesPerWorker; }
  bool fits(std::string_view token, std::span<const double> values) const {
    // Most lines fit even at the longest text of every value.
    const std::size_t longest = token.size() + 34 + values.size() * (kMaxValueChars + 1);
    return complete + longest <= kFormattedBytesPerChunk ||
           complete + max_line_text(token, values) <= kFormattedBytesPerChunk;
  }
  // After an exception while formatting: only the complete lines stay.
  void drop_incomplete_line() { text.keep_first(complete); }
};

// The output of the second reading on the calling thread: the header and
// the bar wait for the first survivor, whose first layer gives the
// dimension, and every stop ends the writing as on one thread.
class IndexedOutput {
 public:
  IndexedOutput(W2vWriter& writer, std::uint64_t total) : writer_(writer), total_(total) {}

  // A survivor formatted here.
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values) {
    if (!bar_) start(values.size());
    writer_.line(token, sentence, position, values);
    bar_->inc(1);
  }
  bool may_read(std::uint64_t) const { return true; }
  bool fits(std::string_view, std::span<const double>) const { return true; }

  // Survivors a worker formatted.
  void formatted(const FormattedChunk& chunk) {
    if (chunk.written == 0) return;
    if (!bar_) start(chunk.first_dimension);
    writer_.formatted(chunk.text.bytes());
    for (std::uint64_t i = 0; i < chunk.written; ++i) bar_->inc(1);
  }

  // Raises the failure of `stop` (not kNone or kFull): a survivor without
  // layers leaves the complete lines before it in the file, and an empty
  // file when it is the first.
  [[noreturn]] void fail_at(ChunkStop stop);

  // After the last chunk: the bar finished and every byte handed to the file.
  void finish();

 private:
  void start(std::size_t dimension) {
    bar_.emplace(total_);
    writer_.header(total_, dimension);
  }

  W2vWriter& writer_;
  std::uint64_t total_;
  std::optional<ProgressBar> bar_;
};

}  // namespace ondravane
