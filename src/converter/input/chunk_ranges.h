// Cutting a file that can be read at any offset into ranges of bytes, one a
// chunk, without reading it: whoever works on a chunk reads the lines that
// start in its range (ChunkBytes::load), so the copying of the input from
// the kernel is spread over the workers instead of falling to the thread
// that hands the chunks out.
//
// A range is read from its start to its first line start by its own worker
// and again, as the end of a line, by the worker before it: on average half
// a line, and a whole range when the range lies inside one line. So ranges
// grow with the longest line seen, to twice its length (up to twice the
// chunk size): with the 1.6 MB lines of the four-layer benchmark files
// and ranges of 1 MiB, the workers of the check read 1.75 times the file.
// Two chunks beside each other share where the first line after their
// boundary starts: whichever finds it first spares the other reading
// those bytes (or reading past them), and a range that lies inside one
// line already read is not read at all.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "converter/input/chunk_bytes.h"

namespace ondravane {

class ChunkRanges {
 public:
  static constexpr std::size_t kMinRange = 64;
  static constexpr std::size_t kLinesPerRange = 2;
  static constexpr std::size_t kLargestRangeInChunks = 2;
  // The first `size` bytes of `fd`, which stays owned by the caller, in
  // ranges of at least `chunk_bytes`, and of at least kMinRange: a range is
  // worth handing to a thread only when it can hold a line. Buffers of
  // chunks taken back are kept for the chunks to come, up to `spare_bytes`
  // of them.
  ChunkRanges(int fd, std::uint64_t size, std::size_t chunk_bytes, std::size_t spare_bytes = 0)
      : fd_(fd),
        size_(size),
        chunk_bytes_(chunk_bytes < kMinRange ? kMinRange : chunk_bytes),
        range_bytes_(chunk_bytes_),
        spare_limit_(spare_bytes) {}

  // Gives `chunk` the next range, and a buffer kept from a chunk before
  // when it has none; false past the end.
  bool fill(ChunkBytes& chunk) {
    if (next_ >= size_) return false;
    if (chunk.buffer_.capacity() == 0 && !spare_.empty()) {
      spare_held_ -= spare_.back().capacity();
      chunk.buffer_ = std::move(spare_.back());
      spare_.pop_back();
    }
    chunk.fd_ = fd_;
    chunk.begin_ = next_;
    chunk.range_end_ = std::min<std::uint64_t>(size_, next_ + range_bytes_);
    chunk.start_ = chunk.size_ = chunk.end_ = 0;
    chunk.tail_open_ = false;
    chunk.step_ = ChunkBytes::LoadStep::kRange;
    // A range of at least half the longest line mostly holds a line start,
    // and so a line going on past it; one inside a line would read that
    // line's rest for nothing.
    chunk.tail_first_ = 2 * range_bytes_ >= longest_line_;
    chunk.longest_line_seen_ = 0;
    chunk.first_line_ = std::move(boundary_);
    if (chunk.range_end_ < size_) boundary_ = std::make_shared<LineStart>(kUnknownLineStart);
    chunk.next_line_ = boundary_;
    next_ = chunk.range_end_;
    return true;
  }

  // After `chunk` was worked on and taken: the ranges to come grow with
  // the longest line it saw, and its buffer is kept for the chunks to come,
  // unless it grew for one long line or the buffers kept hold their share
  // already; else its pages go back to the system. A range is read with the
  // byte before it, and a line that goes on past it doubles that: a buffer
  // of four such windows is one that ordinary lines fill again, and mapping
  // and faulting in its pages anew for every chunk took more of the
  // system's time than the reading itself.
  void release(ChunkBytes& chunk) {
    const std::size_t most = kLargestRangeInChunks * chunk_bytes_;
    const std::size_t wanted = chunk.longest_line_seen_ > most / kLinesPerRange
                                   ? most
                                   : kLinesPerRange * chunk.longest_line_seen_;
    range_bytes_ = std::max(range_bytes_, wanted);
    longest_line_ = std::max(longest_line_, chunk.longest_line_seen_);
    const std::size_t held = chunk.buffer_.capacity();
    if (held != 0 && held <= 4 * (range_bytes_ + 1) && spare_held_ + held <= spare_limit_) {
      spare_held_ += held;
      spare_.push_back(std::move(chunk.buffer_));
    }
    chunk.buffer_.release();
    chunk.first_line_.reset();
    chunk.next_line_.reset();
  }

  // Each chunk raises its own read failure when it is loaded.
  void raise_read_error() const {}

 private:
  int fd_;
  std::uint64_t size_;
  std::size_t chunk_bytes_;
  std::size_t range_bytes_;  // of the ranges to come
  std::size_t longest_line_ = 0;
  std::uint64_t next_ = 0;
  std::shared_ptr<LineStart> boundary_;  // at next_, for the chunk filled next
  std::size_t spare_limit_;
  std::size_t spare_held_ = 0;
  std::vector<MappedBuffer> spare_;
};

}  // namespace ondravane
