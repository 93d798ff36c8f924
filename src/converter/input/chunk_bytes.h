// The bytes of one chunk of work: whole lines of the input, read into the
// chunk's own buffer either by whoever fills the chunks in order (a stream)
// or, for a file that can be read at any offset, by whoever works on the
// chunk, from the range of the file it was given.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "support/mapped_buffer.h"

namespace ondravane {

// Where the first line at or after the boundary between two ranges starts,
// once either chunk beside it has found it: the one after it then reads
// from there instead of from the boundary, and the one before it reads on
// exactly to there. Offsets of the file; kUnknownLineStart until found.
using LineStart = std::atomic<std::uint64_t>;
inline constexpr std::uint64_t kUnknownLineStart = ~std::uint64_t{0};

class ChunkBytes {
 public:
  std::string_view lines() const { return {buffer_.get() + start_, size_}; }
  // Memory held, for the budget of chunks in flight.
  std::size_t capacity() const { return buffer_.capacity(); }

  // Reads the lines of the range the chunk was given, if it was given one:
  // those that start in it, whole, however far past its end they reach. A
  // failed read raises its failure. Stops, returning false, before the
  // buffer would grow past `limit` bytes for a line that goes on; a later
  // call goes on from there.
  bool load(std::size_t limit);

 private:
  friend class ChunkReader;
  friend class ChunkRanges;
  // Gives the buffer room for at least `size` bytes, keeping its first `keep`.
  void reserve(std::size_t size, std::size_t keep);
  // Reads `length` bytes at `offset` to `at` in the buffer; returns how many
  // there were before the end of the file.
  std::size_t read_at(std::uint64_t offset, std::size_t at, std::size_t length);

  MappedBuffer buffer_;
  std::size_t start_ = 0;  // where the lines start in the buffer
  std::size_t size_ = 0;   // bytes of whole lines
  std::size_t end_ = 0;    // end of the bytes read: start_ + size_ to end_ is the carry of a stream
  // Sets where the lines end, once read.
  void finish_load(std::size_t lines_end);
  // Ends the load of a range that lies inside a line read by an earlier chunk.
  void skip_range();
  // Reads on from end_ to the first LF, or the end of the file; false when
  // the buffer would pass `limit` first.
  bool read_on(std::size_t limit);
  // The place in the buffer of an offset of the range's window, and back.
  std::size_t place_of(std::uint64_t offset) const { return lead_ + static_cast<std::size_t>(offset - origin_); }
  std::uint64_t offset_at(std::size_t place) const { return origin_ + (place - lead_); }

  // A range to load: [begin_, range_end_) of `fd_`, unless fd_ is -1;
  // `tail_open_` once the range is read and its last line goes on.
  int fd_ = -1;
  bool tail_open_ = false;
  // What load() does next. With `tail_first_` it reads the line going on
  // past the range before the range itself: the chunk after it, loaded at
  // the same time, has then mostly not read those bytes yet, and starts at
  // the line start found instead.
  enum class LoadStep : unsigned char { kRange, kTailFirst, kRangeAfterTail, kTail };
  LoadStep step_ = LoadStep::kRange;
  bool tail_first_ = false;
  std::size_t tail_end_ = 0;  // where the line going on ended, read first
  // The longest line load() measured: the one that went on past the range,
  // or, for a range inside one line, the range.
  std::size_t longest_line_seen_ = 0;
  std::size_t tail_start_ = 0;  // where the line that goes on starts
  std::size_t lead_ = 0;        // buffer bytes before the range's window
  std::uint64_t begin_ = 0;
  std::uint64_t range_end_ = 0;
  std::uint64_t origin_ = 0;  // the offset of the file whose place is lead_
  // The line starts at begin_ and at range_end_, shared with the chunks
  // beside it (none at the file's ends).
  std::shared_ptr<LineStart> first_line_;
  std::shared_ptr<LineStart> next_line_;
};

// The line of `text` that starts at `offset`, LF included when it has one.
inline std::string_view line_at(std::string_view text, std::size_t offset) {
  const char* start = text.data() + offset;
  const std::size_t left = text.size() - offset;
  const void* lf = std::memchr(start, '\n', left);
  return {start, lf == nullptr ? left : static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1};
}

// A line without its terminator: the final LF and then one CR directly
// before it.
inline std::string_view without_terminator(std::string_view line) {
  if (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  return line;
}

}  // namespace ondravane
