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
}

bool ChunkBytes::load(std::size_t limit) {
  if (fd_ < 0) return true;
  // One byte before the range tells whether a line starts at its beginning.
  const std::uint64_t from = begin_ == 0 ? 0 : begin_ - 1;
  if (!tail_open_) {
    // A range read with the byte before it starts one byte short of a page;
    // read to the buffer's start, it fell in the slow case every time (1.1
    // GB/s against 9).
    lead_ = place_in_page(from);
    const std::size_t window = static_cast<std::size_t>(range_end_ - from);
    reserve(lead_ + window, 0);
    const std::size_t read = read_at(from, lead_, window);
    char* const text = buffer_.get() + lead_;
    start_ = lead_;  // where the first line starting in the range begins
    if (begin_ != 0) {
      // A line starts in the range just after an LF at its last byte but one
      // or before; the line the range starts inside of belongs to an earlier
      // chunk.
      const void* lf = read == 0 ? nullptr : std::memchr(text, '\n', std::min(read, window - 1));
      if (lf == nullptr) {
        longest_line_seen_ = read;
        finish_load(lead_);
        return true;
      }
      start_ = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) + 1;
    }
    end_ = lead_ + read;
    const void* last_lf = ::memrchr(buffer_.get() + start_, '\n', end_ - start_);
    if (read < window || static_cast<const char*>(last_lf) == buffer_.get() + end_ - 1) {
      finish_load(end_);
      return true;
    }
    tail_start_ = last_lf == nullptr
                      ? start_
                      : static_cast<std::size_t>(static_cast<const char*>(last_lf) - buffer_.get()) + 1;
    tail_open_ = true;
  }
  // The last line starting in the range goes on past it: read on until its
  // LF, or the end of the file. The buffer doubles, but up to the limit
  // itself: the window is a range and the byte before it, so doubling alone
  // would pass a limit of whole ranges by a few bytes and leave the line to
  // wait for its turn. The reads are smaller than the room: what is read past
  // the LF belongs to the next range, whose worker reads it again, and reads
  // as large as the buffer read as much again as the range on every chunk.
  while (tail_open_) {
    if (end_ >= limit) return false;
    if (end_ >= capacity()) reserve(end_ + std::min(std::max<std::size_t>(end_, 4096), limit - end_), end_);
    const std::size_t tail = end_ - lead_ - static_cast<std::size_t>(range_end_ - from);
    const std::size_t more = std::min({std::max(kTailStep, tail / 4), capacity() - end_, limit - end_});
    const std::size_t got = read_at(from + (end_ - lead_), end_, more);
    const void* lf = std::memchr(buffer_.get() + end_, '\n', got);
    if (lf != nullptr) {
      finish_load(static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) + 1);
    } else if (got < more) {
      finish_load(end_ + got);
    } else {
      end_ += got;
    }
  }
  return true;
}

}  // namespace ondravane
