// Reading the pieces of a line that the second reading of a file needs,
// by their offsets, without reading the rest of the line.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "support/system_error.h"

namespace ondravane {

// Reads pieces of the file at their offsets into one buffer that grows to
// the largest piece read. A piece within the bytes the last read brought is
// taken from the buffer: one read of pieces that lie close together then
// serves them all.
class PieceReader {
 public:
  explicit PieceReader(int fd) : fd_(fd) {}
  // Reads from `fd` from now on, keeping the buffer.
  void use_fd(int fd) {
    fd_ = fd;
    held_length_ = 0;
  }
  // Gives the buffer back when it grew beyond `limit` bytes.
  void release_beyond(std::size_t limit) {
    if (capacity_ <= limit) return;
    buffer_.reset();
    capacity_ = 0;
    held_length_ = 0;
  }

  // The `length` bytes at `offset`, or nothing when the file ends before.
  std::optional<std::string_view> read(std::uint64_t offset, std::uint64_t length) {
    if (offset >= held_offset_ && length <= held_length_ && offset - held_offset_ <= held_length_ - length) {
      return std::string_view(buffer_.get() + (offset - held_offset_), length);
    }
    held_length_ = 0;  // until the buffer holds the bytes read below
    if (length > capacity_) {
      buffer_ = std::make_unique_for_overwrite<char[]>(length);
      capacity_ = length;
    }
    std::uint64_t done = 0;
    while (done < length) {
      const ssize_t count = ::pread(fd_, buffer_.get() + done, length - done,
                                    static_cast<off_t>(offset + done));
      if (count > 0) {
        done += static_cast<std::uint64_t>(count);
      } else if (count == 0) {
        return std::nullopt;
      } else if (errno != EINTR) {
        fail_os_error(errno);
      }
    }
    held_offset_ = offset;
    held_length_ = length;
    return std::string_view(buffer_.get(), length);
  }

 private:
  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::uint64_t capacity_ = 0;
  // The bytes of the file the buffer holds: those the last read brought.
  std::uint64_t held_offset_ = 0;
  std::uint64_t held_length_ = 0;
};

// Reads a JSON value that starts `start` bytes into a line of `line_length`
// bytes at `line_offset`, without reading the rest of the line: first the
// bytes `guess` expects, then twice as many until `read_from(piece)` succeeds
// on them. Only a failure on the whole rest of the line means the line is
// not what was indexed. `guess` learns the length of the last value read.
template <typename ReadFrom>
bool read_piece(PieceReader& pieces, std::uint64_t line_offset, std::uint64_t line_length,
                std::uint32_t start, std::uint64_t& guess, ReadFrom&& read_from) {
  if (start >= line_length) return false;
  const std::uint64_t rest = line_length - start;
  for (std::uint64_t length = guess < rest ? guess : rest;; length = length * 2 < rest ? length * 2 : rest) {
    const std::optional<std::string_view> piece = pieces.read(line_offset + start, length);
    if (!piece) return false;
    std::size_t used = 0;
    if (read_from(*piece, used)) {
      guess = used + used / 4 + 64;
      return true;
    }
    if (length == rest) return false;
  }
}

}  // namespace ondravane
