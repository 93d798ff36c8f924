// Splits the bytes of a file descriptor into lines, reading through one block
// buffer. A line is handed out as a view into that buffer, valid until the
// next call; the buffer grows only when a single line does not fit.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace ondravane {

class LineSource {
 public:
  static constexpr std::size_t kBlockSize = 256 * 1024;

  // Reads from `fd`, which stays owned by the caller.
  explicit LineSource(int fd, std::size_t block_size = kBlockSize);
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // The next line including its terminating LF (the last line of a file may
  // lack it), or nothing at the end of the file. A failed read raises the
  // failure of its error number; interrupted reads are repeated.
  std::optional<std::string_view> next_line();

 private:
  // Makes room after the buffered bytes (moving them to the front, or
  // growing the buffer when they fill it) and reads once more. Returns false
  // at the end of the file.
  bool refill();

  int fd_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;    // first byte of the current line
  std::size_t scanned_ = 0;  // bytes before this hold no LF of the current line
  std::size_t end_ = 0;      // end of the buffered bytes
  bool exhausted_ = false;
};

// A line as next_line() gives it, without its terminator: the final LF and
// then one CR directly before it.
inline std::string_view without_terminator(std::string_view line) {
  if (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  return line;
}

}  // namespace ondravane
