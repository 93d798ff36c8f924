#include "converter/input/line_source.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/system_error.h"

namespace ondravane {

LineSource::LineSource(int fd, std::size_t block_size)
    : fd_(fd), capacity_(block_size), buffer_(std::make_unique_for_overwrite<char[]>(block_size)) {}

std::optional<std::string_view> LineSource::next_line() {
  for (;;) {
    const char* base = buffer_.get();
    if (const void* lf = std::memchr(base + scanned_, '\n', end_ - scanned_)) {
      const std::size_t line_end = static_cast<std::size_t>(static_cast<const char*>(lf) - base) + 1;
      std::string_view line(base + begin_, line_end - begin_);
      begin_ = scanned_ = line_end;
      return line;
    }
    scanned_ = end_;
    if (exhausted_ || !refill()) {
      exhausted_ = true;
      if (begin_ == end_) return std::nullopt;
      std::string_view line(buffer_.get() + begin_, end_ - begin_);
      begin_ = scanned_ = end_;
      return line;
    }
  }
}

bool LineSource::refill() {
  const std::size_t pending = end_ - begin_;
  if (begin_ != 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, pending);
    scanned_ -= begin_;
    begin_ = 0;
    end_ = pending;
  }
  if (end_ == capacity_) {
    // One line fills the whole buffer: double it, keeping the line.
    const std::size_t grown = capacity_ * 2;
    auto larger = std::make_unique_for_overwrite<char[]>(grown);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ = grown;
  }
  for (;;) {
    const ssize_t count = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
    if (count > 0) {
      end_ += static_cast<std::size_t>(count);
      return true;
    }
    if (count == 0) return false;
    if (errno != EINTR) fail_os_error(errno);
  }
}

}  // namespace ondravane
