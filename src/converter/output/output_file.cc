// The output buffer: whole buffers to the file until the final flush.
#include "converter/output/output_file.h"

#include <algorithm>
#include <cstring>

#include "converter/output/output_path.h"
#include "support/file_io.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// Writes all of [data, data + size); a write that takes nothing is an error
// of its own.
void write_fully(int fd, const char* data, std::size_t size) {
  const int error = write_all(fd, std::string_view(data, size));
  if (error == kWroteNothing) fail_unwrap(describe_write_zero());
  if (error != 0) fail_os_error(error);
}

MappedBuffer reserved(std::size_t size) {
  MappedBuffer buffer;
  buffer.reserve(size, 0);
  return buffer;
}

}  // namespace

OutputFile::OutputFile(std::string_view path, OutputCommit commit, std::size_t capacity)
    : capacity_(std::max(capacity, kMinCapacity)), buffer_(reserved(capacity_ + kMinCapacity)), target_(path, commit) {}

OutputFile::~OutputFile() = default;

void OutputFile::append(std::string_view bytes) {
  if (bytes.empty()) return;  // its data may be null, which memcpy must not be given
  const std::size_t room = capacity_ - size_;
  if (bytes.size() < room) {
    std::memcpy(buffer_.get() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
    return;
  }
  std::memcpy(buffer_.get() + size_, bytes.data(), room);
  size_ = capacity_;
  bytes.remove_prefix(room);
  drain_full();
  const std::size_t whole = bytes.size() - bytes.size() % capacity_;
  if (whole != 0) write_fully(target_.fd(), bytes.data(), whole);
  bytes.remove_prefix(whole);
  std::memcpy(buffer_.get(), bytes.data(), bytes.size());
  size_ = bytes.size();
}

void OutputFile::drain_full() {
  // A commit of all the room fills the buffer and its slack; when the slack
  // is as large as the capacity, that is two buffers.
  const std::size_t held = size_;
  size_ = 0;
  std::size_t written = 0;
  do {
    write_fully(target_.fd(), buffer_.get() + written, capacity_);
    written += capacity_;
  } while (held - written >= capacity_);
  std::memmove(buffer_.get(), buffer_.get() + written, held - written);
  size_ = held - written;
}

void OutputFile::flush() {
  const std::size_t size = size_;
  size_ = 0;
  write_fully(target_.fd(), buffer_.get(), size);
}

}  // namespace ondravane
