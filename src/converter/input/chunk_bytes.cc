// Reading the lines of a chunk's range of a file, on whichever thread works
// on the chunk.
#include "converter/input/chunk_bytes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "support/system_error.h"

namespace ondravane {

namespace {

// The first read past a range for the line that goes on; later reads take a
// quarter of the tail read so far, so at most that much is read past the LF
// in a few calls whatever the line's length.
constexpr std::size_t kTailStep = std::size_t{64} << 10;

}  // namespace

void ChunkBytes::reserve(std::size_t size, std::size_t keep) { buffer_.reserve(size, keep); }

std::size_t ChunkBytes::read_at(std::uint64_t offset, std::size_t at, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t count = ::pread(fd_, buffer_.get() + at + done, length - done,
                                  static_cast<off_t>(offset + done));
    if (count > 0) {
      done += static_cast<std::size_t>(count);
    } else if (count == 0) {
      break;
    } else if (errno != EINTR) {
      fail_os_error(errno);
    }
  }
  return done;
}

void ChunkBytes::finish_load(std::size_t lines_end) {
  if (tail_open_) longest_line_seen_ = lines_end - tail_start_;
  size_ = lines_end - start_;
  end_ = lines_end;
  fd_ = -1;
  tail_open_ = false;
  step_ = LoadStep::kRange;
}

namespace {

std::uint64_t known(const std::shared_ptr<LineStart>& line_start) {
  // Relaxed: the offset is the whole message, and an unknown one only means
  // reading as if no one had looked.
  return line_start ? line_start->load(std::memory_order_relaxed) : kUnknownLineStart;
}

void note(const std::shared_ptr<LineStart>& line_start, std::uint64_t offset) {
  if (line_start) line_start->store(offset, std::memory_order_relaxed);
}

}  // namespace

void ChunkBytes::skip_range() {
  // The range lies inside a line an earlier chunk read: so does the next
  // boundary, unless that line ends at it.
  note(next_line_, known(first_line_));
  longest_line_seen_ = static_cast<std::size_t>(range_end_ - begin_) + 1;
  start_ = 0;
  finish_load(0);
}

bool ChunkBytes::read_on(std::size_t limit) {
  // The buffer doubles, but up to the limit itself: the window is a range
  // and the byte before it, so doubling alone would pass a limit of whole
  // ranges by a few bytes and leave the line to wait for its turn. The reads
  // are smaller than the room: what is read past the LF belongs to the next
  // range, and reads as large as the buffer read as much again as the range
  // on every chunk. Once the next chunk has found where its first line
  // starts, the line ends just before it, and is read on to there at once.
  for (;;) {
    if (end_ >= limit) return false;
    if (end_ >= capacity()) reserve(end_ + std::min(std::max<std::size_t>(end_, 4096), limit - end_), end_);
    const std::uint64_t at = offset_at(end_);
    const std::uint64_t line_end = known(next_line_);
    const std::size_t past = at > range_end_ ? static_cast<std::size_t>(at - range_end_) : 0;
    const std::uint64_t step = line_end != kUnknownLineStart && line_end > at ? line_end - at
                                                                               : std::max(kTailStep, past / 4);
    const std::size_t more = static_cast<std::size_t>(
        std::min<std::uint64_t>(step, std::min(capacity() - end_, limit - end_)));
    const std::size_t got = read_at(at, end_, more);
    if (const void* lf = std::memchr(buffer_.get() + end_, '\n', got)) {
      end_ = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) + 1;
      note(next_line_, offset_at(end_));
      return true;
    }
    end_ += got;
    if (got < more) return true;  // the end of the file
  }
}

bool ChunkBytes::load(std::size_t limit) {
  if (fd_ < 0) return true;
  if (step_ == LoadStep::kRange) {
    const std::uint64_t first_line = known(first_line_);
    if (first_line != kUnknownLineStart && first_line >= range_end_) {
      skip_range();
      return true;
    }
    // One byte before the range tells whether a line starts at its
    // beginning. A range read with that byte starts one byte short of a
    // page; read to the buffer's start, it fell in the slow case every time
    // (1.1 GB/s against 9).
    origin_ = begin_ == 0 ? 0 : begin_ - 1;
    lead_ = place_in_page(origin_);
    reserve(place_of(range_end_), 0);
    if (tail_first_ && next_line_) {
      end_ = place_of(range_end_ - 1);
      step_ = LoadStep::kTailFirst;
    }
  }
  if (step_ == LoadStep::kTailFirst) {
    // From the range's last byte: an LF there ends the range's last line.
    if (!read_on(limit)) return false;
    tail_end_ = end_;
    step_ = LoadStep::kRangeAfterTail;
  }
  if (step_ != LoadStep::kTail) {
    const bool after_tail = step_ == LoadStep::kRangeAfterTail;
    // Where the first line starts may have been found meanwhile.
    const std::uint64_t first_line = known(first_line_);
    if (first_line != kUnknownLineStart && first_line >= range_end_) {
      skip_range();
      return true;
    }
    const bool at_line_start = begin_ == 0 || first_line != kUnknownLineStart;
    const std::uint64_t from = begin_ == 0 ? 0 : at_line_start ? first_line : origin_;
    const std::uint64_t to = after_tail ? range_end_ - 1 : range_end_;
    const std::size_t wanted = static_cast<std::size_t>(to - from);
    const std::size_t read = read_at(from, place_of(from), wanted);
    start_ = place_of(from);  // where the first line starting in the range begins
    if (!at_line_start) {
      // A line starts in the range just after an LF at its last byte but one
      // or before; the line the range starts inside of belongs to an earlier
      // chunk.
      const std::size_t before_last = static_cast<std::size_t>(range_end_ - 1 - origin_);
      const void* lf = std::memchr(buffer_.get() + lead_, '\n', std::min(read, before_last));
      if (lf == nullptr) {
        // No line starts before the next boundary: the first one after it,
        // if found, is the first one after this one too.
        if (known(next_line_) != kUnknownLineStart) note(first_line_, known(next_line_));
        longest_line_seen_ = read + (after_tail ? 1 : 0);
        finish_load(lead_);
        return true;
      }
      start_ = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) + 1;
      note(first_line_, offset_at(start_));
    }
    const std::size_t range_read = place_of(from) + read;
    if (read < wanted) {
      finish_load(range_read);  // the file ended early
      return true;
    }
    const std::size_t range_last = place_of(range_end_ - 1);
    if (after_tail ? tail_end_ == range_last + 1 : buffer_.get()[range_last] == '\n') {
      finish_load(place_of(range_end_));
      return true;
    }
    const void* last_lf = ::memrchr(buffer_.get() + start_, '\n', range_last - start_);
    tail_start_ = last_lf == nullptr
                      ? start_
                      : static_cast<std::size_t>(static_cast<const char*>(last_lf) - buffer_.get()) + 1;
    tail_open_ = true;
    if (after_tail) {
      finish_load(tail_end_);
      return true;
    }
    end_ = range_read;
    step_ = LoadStep::kTail;
  }
  // The last line starting in the range goes on past it: read on until its
  // LF, or the end of the file.
  if (!read_on(limit)) return false;
  finish_load(end_);
  return true;
}

}  // namespace ondravane
