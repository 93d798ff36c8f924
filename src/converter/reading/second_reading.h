// The rules of the second reading of an indexed file, written once for
// every number of threads: of each surviving occurrence only the pieces the
// index lists are read again (its token, unless numbered, and the layers
// its vector is made of), at the offsets the first reading found, and its
// vector is either written straight into the output file or, on a worker
// thread, formatted into memory that the calling thread writes in file
// order.
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
#include "converter/tokens/token_numbers.h"
#include "converter/vectors/type_means.h"
#include "converter/vectors/vector_recipe.h"
#include "converter/vectors/written_occurrence.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/work_shift.h"
#include "progress/progress_bar.h"
#include "support/chunked_array.h"

namespace ondravane {

// What stopped the formatting of a chunk of lines before its end.
enum class ChunkStop {
  kNone,
  kMissingLayer,   // a survivor without a layer its vector is made of: writing fails there
  kLengthsDiffer,  // a survivor whose layers cannot be averaged or summed: writing fails there
  kChanged,        // the file is no longer what the first reading indexed
  kFull,           // a worker's share is done; the rest, from this occurrence, is still to do
};

// Reads the pieces of one occurrence again and makes its vector, with
// buffers kept from one occurrence to the next.
class OccurrenceReader {
 public:
  explicit OccurrenceReader(int fd = -1, const VectorRecipe& recipe = kFirstLayerRecipe);
  void use_fd(int fd) { pieces_.use_fd(fd); }
  // Whether a vector that is one layer's list read from the text comes with
  // its text as the output writes it (vector_text()): for text lines, one
  // a vector.
  void make_text(bool wanted) { text_wanted_ = wanted && !recipe_->combines(); }
  const VectorRecipe& recipe() const { return *recipe_; }
  // Gives back buffers that grew beyond `limit` bytes.
  void release_beyond(std::size_t limit);

  enum class Read { kRead, kChanged, kMissingLayer, kLengthsDiffer };
  // The token (marks removed) and the vector of occurrence number
  // `occurrence`, in the line of `shape` at `line_offset`: kChanged when the
  // file there is not what was indexed. An occurrence that lacks a layer
  // (kMissingLayer) or whose layers cannot be combined (kLengthsDiffer) gets
  // its token only, and layers() holds the layers read. The views stay
  // valid until the next read.
  Read read(const CorpusIndex& index, std::uint64_t occurrence, std::uint64_t line_offset,
            const IndexedLine& shape, std::string_view& token, std::span<const double>& vector);
  std::span<const std::span<const double>> layers() const { return layer_views_; }
  // The text of the vector the last read made, when it made one.
  std::optional<std::string_view> vector_text() const {
    if (!text_made_) return std::nullopt;
    return vector_text_.text();
  }

 private:
  // Reads the occurrence's pieces in one call when they lie close together,
  // so that each of them is then taken from the bytes read.
  void read_close_pieces(const CorpusIndex& index, std::uint64_t occurrence, std::uint64_t line_offset,
                         const IndexedLine& shape);

  PieceReader pieces_;
  LineParser parser_;
  const VectorRecipe* recipe_;
  std::string token_;
  std::vector<std::vector<double>> layers_;  // one a layer read
  std::vector<std::span<const double>> layer_views_;
  std::vector<double> combined_;
  ValueListText vector_text_;
  bool text_wanted_ = false;
  bool text_made_ = false;
  std::vector<std::uint64_t> layer_guesses_;
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
// whose bit of `kept` is set) with `sink.line(occurrence, vector)` until the
// chunk's end or a stop; `chunk` is left at the occurrence where it stopped.
// A sink that takes only so much says so with `sink.may_read(span)` before
// an occurrence is read again and `sink.fits(occurrence, vector)` before it
// is formatted.
template <typename Sink>
ChunkStop format_chunk(const CorpusIndex& index, const ChunkedBits* kept, IndexedChunk& chunk,
                       OccurrenceReader& reader, Sink& sink, const WorkShift* shift = nullptr) {
  for (; chunk.line < chunk.end_line; chunk.offset += index.lines[chunk.line].length, ++chunk.line) {
    if (shift != nullptr && shift->stopping()) return ChunkStop::kNone;
    const IndexedLine& shape = index.lines[chunk.line];
    for (; chunk.in_line < shape.occurrences; ++chunk.in_line, ++chunk.occurrence) {
      if (kept != nullptr && !(*kept)[chunk.occurrence]) continue;
      if (!index.has_layers(chunk.occurrence)) return ChunkStop::kMissingLayer;
      if (!sink.may_read(occurrence_span(index, chunk.occurrence, chunk.in_line, shape))) return ChunkStop::kFull;
      WrittenOccurrence occurrence{chunk.line + 1, {}, shape.linex_index, chunk.position,
                                   index.numbered ? index.token_numbers[chunk.occurrence] : 0};
      std::span<const double> vector;
      switch (reader.read(index, chunk.occurrence, chunk.offset, shape, occurrence.token, vector)) {
        case OccurrenceReader::Read::kRead: break;
        case OccurrenceReader::Read::kLengthsDiffer: return ChunkStop::kLengthsDiffer;
        case OccurrenceReader::Read::kMissingLayer: return ChunkStop::kMissingLayer;
        case OccurrenceReader::Read::kChanged: return ChunkStop::kChanged;
      }
      if (!sink.fits(occurrence, vector)) return ChunkStop::kFull;
      sink.line(occurrence, vector, reader.vector_text());
      ++chunk.position;
    }
    chunk.in_line = 0;
    chunk.position = 0;
  }
  return ChunkStop::kNone;
}

// The identifiers written that hold a blank, which loaders of the binary
// format take for the identifier's end: how many, and the first.
struct BlankIdentifiers {
  std::uint64_t count = 0;
  std::string first;
  void note(std::string_view token, const WrittenOccurrence* occurrence);
  void add(const BlankIdentifiers& later);
};

// How the vectors are written: one an occurrence or one a type, as text or
// binary.
struct EntryShape {
  bool per_type = false;
  VectorFormat format = VectorFormat::kText;
};

// What a worker makes of a chunk: the text of its entries, or with one
// vector a type the vectors themselves (the calling thread adds them up in
// file order); how many, and the length of the first.
struct FormattedChunk {
  // Of each vector kept for its type: the occurrence it is of, its length.
  struct Kept {
    std::uint64_t line;
    std::uint32_t sentence;
    std::uint64_t position;
    std::uint32_t type;
    std::size_t length;
  };
  EntryShape shape;
  FormattedLines text;
  std::vector<double> vectors;
  std::vector<Kept> kept;
  BlankIdentifiers blanks;  // in the binary format
  std::uint64_t written = 0;
  std::size_t first_dimension = 0;
  std::size_t complete = 0;  // bytes of `text` in complete lines

  void set_shape(EntryShape entries) {
    shape = entries;
    text.set_format(entries.format);
  }
  void clear() {
    text.clear();
    vectors.clear();
    kept.clear();
    blanks = {};
    written = 0;
    complete = 0;
  }
  void line(const WrittenOccurrence& occurrence, std::span<const double> vector,
            std::optional<std::string_view> vector_text = std::nullopt) {
    if (written == 0) first_dimension = vector.size();
    if (shape.per_type) {
      kept.push_back(Kept{occurrence.line, occurrence.sentence, occurrence.position, occurrence.type, vector.size()});
      vectors.insert(vectors.end(), vector.begin(), vector.end());
    } else {
      if (vector_text && shape.format == VectorFormat::kText) {
        text.line(occurrence.token, occurrence.sentence, occurrence.position, *vector_text);
      } else {
        text.line(occurrence.token, occurrence.sentence, occurrence.position, vector);
      }
      complete = text.bytes().size();
      if (shape.format == VectorFormat::kBinary) blanks.note(occurrence.token, &occurrence);
    }
    ++written;
  }
  bool may_read(std::uint64_t span) const { return span <= kPieceBytesPerWorker; }
  bool fits(const WrittenOccurrence& occurrence, std::span<const double> vector) const {
    if (shape.per_type) return (vectors.size() + vector.size()) * sizeof(double) <= kFormattedBytesPerChunk;
    // Vectors of another length in the binary format are for the calling
    // thread, which knows the header's.
    if (shape.format == VectorFormat::kBinary && written != 0 && vector.size() != first_dimension) return false;
    // Most lines fit even at the longest text of every value.
    return complete + longest_line_text(occurrence.token, vector, shape.format) <= kFormattedBytesPerChunk ||
           complete + max_line_text(occurrence.token, vector, shape.format) <= kFormattedBytesPerChunk;
  }
  // After an exception while formatting: only the complete lines stay.
  void drop_incomplete_line() { text.keep_first(complete); }
  std::size_t held_bytes() const { return text.capacity() + vectors.capacity() * sizeof(double) + kept.capacity() * sizeof(Kept); }
};

// The output of the second reading on the calling thread: the header and
// the bar wait for the first survivor, whose vector gives the dimension
// (with one vector a type, the header waits for the last), and every stop
// ends the writing as on one thread.
class IndexedOutput {
 public:
  // `types` names the token numbers of one vector a type.
  IndexedOutput(W2vWriter& writer, std::uint64_t total, EntryShape shape = {},
                const TokenNumbers* types = nullptr)
      : writer_(writer), total_(total), shape_(shape), types_(types) {}

  // A survivor formatted here, from its values or their text when given.
  void line(const WrittenOccurrence& occurrence, std::span<const double> vector,
            std::optional<std::string_view> vector_text = std::nullopt);
  bool may_read(std::uint64_t) const { return true; }
  bool fits(const WrittenOccurrence&, std::span<const double>) const { return true; }

  // Survivors a worker formatted. False, writing nothing, when the first of
  // them is not of the header's length in the binary format: the calling
  // thread then formats the chunk again, to fail there.
  bool formatted(const FormattedChunk& chunk);

  // Raises the failure of `stop` (not kNone or kFull) at the occurrence
  // where `chunk` stopped, which `reader` reads again to name it: a
  // survivor without layers leaves the complete lines before it in the
  // file, and an empty file when it is the first.
  [[noreturn]] void fail_at(ChunkStop stop, const CorpusIndex& index, const IndexedChunk& chunk,
                            OccurrenceReader& reader);
  // The failures of occurrences held in memory, by the same rules.
  [[noreturn]] void fail_missing_layer(const WrittenOccurrence& occurrence, const VectorRecipe& recipe,
                                       std::int64_t missing);
  [[noreturn]] void fail_lengths_differ(const WrittenOccurrence& occurrence, const VectorRecipe& recipe,
                                        std::span<const std::span<const double>> layers);

  // After the last chunk: the bar finished and every byte handed to the file.
  void finish();
  const BlankIdentifiers& blanks() const { return blanks_; }

 private:
  void start(std::size_t dimension) {
    bar_.emplace(total_);
    dimension_ = dimension;
    if (!shape_.per_type) writer_.header(total_, dimension);
  }
  void add_to_type(const WrittenOccurrence& occurrence, std::span<const double> vector);

  W2vWriter& writer_;
  std::uint64_t total_;
  EntryShape shape_;
  const TokenNumbers* types_;
  std::optional<ProgressBar> bar_;
  std::size_t dimension_ = 0;
  TypeMeans means_;
  BlankIdentifiers blanks_;
};

}  // namespace ondravane
