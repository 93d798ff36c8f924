// Reading an input in chunks of whole lines, each read straight into its
// chunk's own buffer: whoever works on a chunk sees its lines where the read
// put them, and only the part of a line that a read cut off is copied, into
// the next chunk. One chunk is reused from fill to fill on one thread; a
// ring of them serves worker threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

#include "converter/input/chunk_bytes.h"
#include "converter/input/byte_source.h"

namespace ondravane {

class ChunkReader {
 public:
  // Reads `source`, which stays owned by the caller, in chunks of at least
  // `chunk_bytes` bytes of lines (one line when a line is longer). A chunk's
  // buffer of up to `kept_bytes` (and of twice `chunk_bytes` in any case) is
  // kept for its next fill: with workers, lines of several MB (13 layers)
  // grew every chunk's buffer past twice the chunk size, and mapping and
  // faulting in new pages for each made the system time of a check through
  // a pipe three to four times what it is with the buffers kept.
  ChunkReader(ByteSource& source, std::size_t chunk_bytes, std::size_t kept_bytes = 0)
      : source_(source),
        chunk_bytes_(chunk_bytes == 0 ? 1 : chunk_bytes),
        kept_bytes_(std::max(kept_bytes, 2 * chunk_bytes_)) {}
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // Fills `chunk` with the carry of the chunk filled before (which must not
  // have been refilled since; it may be `chunk` itself) and then whole lines
  // as they are read, until it holds at least chunk_bytes or the file ends.
  // False when nothing was left. A read that fails ends the file: the chunk
  // keeps the whole lines before it, and raise_read_error() raises it once
  // they have been taken, as a reading line by line would meet it.
  bool fill(ChunkBytes& chunk);

  // After `chunk` was worked on and taken: gives back a buffer that grew for
  // one long line, now or, when the next fill still needs its carry, then.
  void release(ChunkBytes& chunk) {
    if (&chunk == previous_) {
      previous_taken_ = true;
      return;
    }
    give_back_if_grown(chunk);
  }

  void raise_read_error() const {
    if (read_error_) std::rethrow_exception(read_error_);
  }

 private:
  // Gives `chunk` room for at least `size` bytes, keeping its first `keep`.
  static void reserve(ChunkBytes& chunk, std::size_t size, std::size_t keep);
  void give_back_if_grown(ChunkBytes& chunk) const {
    if (chunk.buffer_.capacity() <= kept_bytes_) return;
    chunk.buffer_.release();
    chunk.start_ = chunk.size_ = chunk.end_ = 0;
  }

  ByteSource& source_;
  std::size_t chunk_bytes_;
  std::size_t kept_bytes_;
  ChunkBytes* previous_ = nullptr;  // holds the carry
  bool previous_taken_ = false;     // and no one works on it any more
  bool exhausted_ = false;
  std::uint64_t bytes_read_ = 0;  // from the source so far
  std::exception_ptr read_error_;
};

}  // namespace ondravane
