// Reading the lines of a chunk's range of a file, on whichever thread works
// on the chunk.
#include "converter/input/chunk_bytes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "support/system_error.h"

namespace ondravane {

void ChunkBytes::reserve(std::size_t size, std::size_t keep) {
  if (capacity_ >= size) return;
  auto larger = std::make_unique_for_overwrite<char[]>(size);
  if (keep != 0) std::memcpy(larger.get(), buffer_.get(), keep);
  buffer_ = std::move(larger);
  capacity_ = size;
}

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

void ChunkBytes::load() {
  if (fd_ < 0) return;
  const std::uint64_t begin = begin_;
  // One byte before the range tells whether a line starts at its beginning.
  const std::uint64_t from = begin == 0 ? 0 : begin - 1;
  const std::size_t window = static_cast<std::size_t>(range_end_ - from);
  reserve(std::max(window, capacity_), 0);
  std::size_t read = read_at(from, 0, window);
  std::size_t first = 0;  // where the first line starting in the range begins
  if (begin != 0) {
    // A line starts in the range just after an LF at its last byte but one or
    // before; the line the range starts inside of belongs to an earlier chunk.
    const void* lf = read == 0 ? nullptr : std::memchr(buffer_.get(), '\n', std::min(read, window - 1));
    if (lf == nullptr) {
      start_ = size_ = end_ = 0;
      fd_ = -1;
      return;
    }
    first = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) + 1;
  }
  // The last line starting in the range may go on past it: read on until its
  // LF, or the end of the file.
  std::size_t lines_end = read;
  if (read == window) {
    const void* last_lf = ::memrchr(buffer_.get() + first, '\n', read - first);
    const bool tail_open = last_lf == nullptr || static_cast<const char*>(last_lf) != buffer_.get() + read - 1;
    for (bool open = tail_open; open;) {
      const std::size_t more = std::max<std::size_t>(read, 4096);
      reserve(read + more, read);
      const std::size_t got = read_at(from + read, read, more);
      const void* lf = std::memchr(buffer_.get() + read, '\n', got);
      if (lf != nullptr) {
        lines_end = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer_.get()) + 1;
        open = false;
      } else {
        lines_end = read + got;
        open = got == more;
      }
      read += got;
    }
  }
  start_ = first;
  size_ = lines_end - first;
  end_ = start_ + size_;
  fd_ = -1;
}

}  // namespace ondravane
