// A file opened for writing, fed through a large buffer of its own so that
// the file receives few, big writes however small the pieces appended are.
#pragma once

#include <cstddef>
#include <string_view>

#include "converter/output/output_path.h"
#include "support/file_io.h"
#include "support/mapped_buffer.h"

namespace ondravane {

class OutputFile {
 public:
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 20;
  // Enough for any single reservation the output needs (one formatted value).
  static constexpr std::size_t kMinCapacity = 1024;

  // Opens the output file at `path`, written the way `commit` says
  // (output_path.h decides what becomes of what is there). A path holding a
  // NUL byte, a failed removal or a failed open raises a failure.
  explicit OutputFile(std::string_view path, OutputCommit commit = OutputCommit::kAsWritten,
                      std::size_t capacity = kDefaultCapacity);

  // Closes the file, ignoring close errors. Bytes still buffered are dropped,
  // not written: after a failure the file keeps exactly what reached it, and
  // a finished output is flushed explicitly first.
  ~OutputFile();

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The file receives whole buffers of `capacity` bytes until the final
  // flush, however the bytes were appended: what a failure leaves in the
  // file depends only on the bytes, never on the sizes of the pieces. (The
  // buffer has kMinCapacity bytes of room past the capacity for that.)
  void append(char c) {
    buffer_.get()[size_++] = c;
    if (size_ == capacity_) drain_full();
  }

  // Bytes of any length; whole buffers' worth goes to the file directly.
  void append(std::string_view bytes);

  // Returns room for at least `size` bytes (at most kMinCapacity) at the end
  // of the buffer; commit() then takes the bytes actually written there.
  char* reserve(std::size_t /*size*/) { return buffer_.get() + size_; }
  // The room at reserve(), all of which commit() may take: kMinCapacity
  // bytes at least.
  std::size_t room() const { return capacity_ + kMinCapacity - size_; }
  void commit(std::size_t size) {
    size_ += size;
    if (size_ >= capacity_) drain_full();
  }

  // Hands every buffered byte to the file; raises a failure if a write fails
  // (the unwritten bytes are then discarded).
  void flush();
  // The last flush of a complete output, which then becomes the output.
  void finish() {
    flush();
    target_.commit();
  }

 private:
  // Writes whole buffers of capacity_ bytes and keeps the rest at the front.
  void drain_full();

  // Declared in this order so that the buffer exists before the file is
  // opened: a failed allocation then leaves no descriptor behind. The buffer
  // is whole pages, written from its start to offsets of whole buffers: the
  // kernel's copy of a write is fast on every processor only when source and
  // destination share their offset within a page (mapped_buffer.h), and a
  // buffer from the heap lies wherever the allocator puts it.
  std::size_t capacity_;
  MappedBuffer buffer_;
  OutputTarget target_;
  std::size_t size_ = 0;
};

}  // namespace ondravane
