// Cutting a file that can be read at any offset into ranges of bytes, one a
// chunk, without reading it: whoever works on a chunk reads the lines that
// start in its range (ChunkBytes::load), so the copying of the input from
// the kernel is spread over the workers instead of falling to the thread
// that hands the chunks out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "converter/input/chunk_bytes.h"

namespace ondravane {

class ChunkRanges {
 public:
  // The first `size` bytes of `fd`, which stays owned by the caller, in
  // ranges of `chunk_bytes`, and of at least kMinRange: a range is worth
  // handing to a thread only when it can hold a line.
  static constexpr std::size_t kMinRange = 64;
  ChunkRanges(int fd, std::uint64_t size, std::size_t chunk_bytes)
      : fd_(fd), size_(size), chunk_bytes_(chunk_bytes < kMinRange ? kMinRange : chunk_bytes) {}

  // Gives `chunk` the next range; false past the end.
  bool fill(ChunkBytes& chunk) {
    if (next_ >= size_) return false;
    chunk.fd_ = fd_;
    chunk.begin_ = next_;
    chunk.range_end_ = std::min<std::uint64_t>(size_, next_ + chunk_bytes_);
    chunk.start_ = chunk.size_ = chunk.end_ = 0;
    chunk.tail_open_ = false;
    next_ = chunk.range_end_;
    return true;
  }

  // After `chunk` was worked on and taken: gives back a buffer that grew for
  // one long line.
  void release(ChunkBytes& chunk) const {
    if (chunk.buffer_.capacity() <= 4 * chunk_bytes_) return;
    chunk.buffer_.release();
  }

  // Each chunk raises its own read failure when it is loaded.
  void raise_read_error() const {}

 private:
  int fd_;
  std::uint64_t size_;
  std::size_t chunk_bytes_;
  std::uint64_t next_ = 0;
};

}  // namespace ondravane
