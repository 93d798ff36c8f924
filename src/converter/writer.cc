// Writing the word-vector file from an indexed input read a second time, on
// the calling thread or on worker threads that format chunks of lines for
// it.
#include "converter/writer.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

#include "converter/workers/ordered_workers.h"
#include "progress/progress_bar.h"

namespace ondravane {

namespace {

// Occurrences per chunk at most (a chunk holds at least one line), which
// bounds the formatted text a chunk holds besides its bytes of input lines.
constexpr std::uint64_t kChunkOccurrences = 8192;

// A chunk of lines handed to a worker, with what the worker made of it.
struct WritingChunk {
  IndexedChunk start;  // where the chunk began, to format it again
  IndexedChunk lines;
  OccurrenceReader reader;  // kept from chunk to chunk with its buffers
  FormattedChunk text;
  ChunkStop stop = ChunkStop::kNone;
  // An exception, such as running out of memory, after the complete lines.
  std::exception_ptr error;

  std::size_t held_bytes() const { return text.held_bytes(); }
};

struct FormatChunks {
  const CorpusIndex* index;
  const ChunkedBits* kept;

  void operator()(WritingChunk& chunk, const WorkShift& shift) const {
    chunk.text.clear();
    chunk.stop = ChunkStop::kNone;
    chunk.error = nullptr;
    try {
      chunk.stop = format_chunk(*index, kept, chunk.lines, chunk.reader, chunk.text, &shift);
    } catch (...) {
      chunk.text.drop_incomplete_line();
      chunk.error = std::current_exception();
    }
  }
};

// An output with nothing to write: the header "0 0" alone.
void write_empty(W2vWriter& writer) {
  ProgressBar bar(0);
  writer.header(0, 0);
  bar.finish_and_clear();
  writer.finish();
}

}  // namespace

BlankIdentifiers write_indexed(const RereadFrom& file, const CorpusIndex& index, const ChunkedBits* kept,
                               std::uint64_t total, std::string_view output, unsigned jobs,
                               std::size_t chunk_bytes, OutputCommit commit, const VectorOptions& vectors) {
  W2vWriter writer(output, commit, vectors.format);
  if (total == 0) {
    write_empty(writer);
    return {};
  }
  if (!file.unchanged()) fail_input_changed();
  IndexedOutput out(writer, total, EntryShape{vectors.per_type, vectors.format}, &index.tokens);
  OccurrenceReader reader(file.fd, vectors.recipe);
  const bool text_lines = !vectors.per_type && vectors.format == VectorFormat::kText;
  reader.make_text(text_lines);
  const unsigned threads = jobs > 1 ? jobs : 0;
  OrderedWorkers<WritingChunk, FormatChunks> workers(threads, std::size_t{jobs} * kChunksPerWorker,
                                                     std::size_t{jobs} * kBytesInFlightPerWorker,
                                                     FormatChunks{&index, kept});
  if (workers.inline_work()) {
    // Straight into the file, without formatting in memory first.
    IndexedChunk all{0, index.lines.size()};
    const ChunkStop stop = format_chunk(index, kept, all, reader, out);
    if (stop != ChunkStop::kNone) out.fail_at(stop, index, all, reader);
    if (!file.unchanged()) fail_input_changed();
    out.finish();
    return out.blanks();
  }
  IndexedChunk next{0, index.lines.size()};
  for (;;) {
    while (workers.has_room() && next.line < index.lines.size()) {
      WritingChunk& chunk = workers.free_chunk();
      if (&chunk.reader.recipe() != &vectors.recipe) chunk.reader = OccurrenceReader(file.fd, vectors.recipe);
      chunk.reader.use_fd(file.fd);
      chunk.reader.make_text(text_lines);
      chunk.text.set_shape(EntryShape{vectors.per_type, vectors.format});
      chunk.lines = next;
      std::uint64_t bytes = 0;
      std::uint64_t occurrences = 0;
      do {
        bytes += index.lines[next.line].length;
        occurrences += index.lines[next.line].occurrences;
        ++next.line;
      } while (next.line < index.lines.size() && bytes < chunk_bytes && occurrences < kChunkOccurrences);
      chunk.lines.end_line = next.line;
      chunk.start = chunk.lines;
      next.offset += bytes;
      next.occurrence += occurrences;
      workers.submit();
    }
    if (!workers.pending()) break;
    WritingChunk& chunk = workers.oldest();
    ChunkStop stop = chunk.stop;
    if (!out.formatted(chunk.text)) {
      // What the worker could not judge comes first: the calling thread
      // formats the chunk again and meets it.
      chunk.lines = chunk.start;
      stop = ChunkStop::kFull;
    } else if (chunk.error) {
      std::rethrow_exception(chunk.error);
    }
    if (stop == ChunkStop::kFull) stop = format_chunk(index, kept, chunk.lines, reader, out);
    if (stop != ChunkStop::kNone) out.fail_at(stop, index, chunk.lines, reader);
    chunk.text.text.release_beyond(2 * kFormattedBytesPerChunk);
    chunk.reader.release_beyond(kPieceBytesPerWorker);
    workers.release_oldest();
  }
  if (!file.unchanged()) fail_input_changed();
  out.finish();
  return out.blanks();
}

}  // namespace ondravane
