#include "converter/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "support/system_error.h"

namespace ondravane {

namespace {

// The most one write() call is handed; the kernel never transfers more at once.
constexpr std::size_t kMaxWriteChunk = 0x7ffff000;

int open_for_writing(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) fail_unwrap(describe_nul_in_path());
  const std::string terminated(path);
  int fd;
  do {
    fd = ::open(terminated.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);  // opening a FIFO waits for a reader
  if (fd < 0) fail_os_error(errno);
  return fd;
}

// Writes all of [data, data + size): interrupted writes are retried, partial
// ones continued; a write that takes nothing is an error of its own.
void write_fully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, std::min(size, kMaxWriteChunk));
    if (written < 0) {
      if (errno == EINTR) continue;
      fail_os_error(errno);
    }
    if (written == 0) fail_unwrap(describe_write_zero());
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace

OutputFile::OutputFile(std::string_view path, std::size_t capacity)
    : capacity_(std::max(capacity, kMinCapacity)),
      buffer_(new char[capacity_]),
      fd_(open_for_writing(path)) {}

OutputFile::~OutputFile() { ::close(fd_); }

void OutputFile::append(std::string_view bytes) {
  if (bytes.size() <= capacity_ - size_) {
    std::memcpy(buffer_.get() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
    return;
  }
  drain();
  if (bytes.size() >= capacity_) {
    write_fully(fd_, bytes.data(), bytes.size());
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    size_ = bytes.size();
  }
}

void OutputFile::drain() {
  const std::size_t size = size_;
  size_ = 0;
  write_fully(fd_, buffer_.get(), size);
}

}  // namespace ondravane
