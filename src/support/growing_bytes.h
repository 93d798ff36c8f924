// Bytes held in one buffer from the heap that its owner grows, keeping what
// it holds, and gives back when a rare long piece left it large: the storage
// of text made in memory a piece at a time.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace ondravane {

class GrowingBytes {
 public:
  char* data() { return buffer_.get(); }
  std::string_view bytes() const { return {buffer_.get(), size_}; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  std::size_t room() const { return capacity_ - size_; }
  // Where the next byte goes.
  char* end() { return buffer_.get() + size_; }
  // The bytes held are the first `size` of the buffer (at most its capacity).
  void set_size(std::size_t size) { size_ = size; }
  // The `count` bytes written at end() are held too (at most room()).
  void extend(std::size_t count) { size_ += count; }

  // Moves the bytes held into a new buffer of `capacity` bytes, at least as
  // many; only the bytes held are copied, never the buffer's whole length.
  void reallocate(std::size_t capacity) {
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(grown.get(), buffer_.get(), size_);
    buffer_ = std::move(grown);
    capacity_ = capacity;
  }
  // Gives the memory back, and with it the bytes held, when the buffer grew
  // beyond `limit` bytes.
  void release_beyond(std::size_t limit) {
    if (capacity_ <= limit) return;
    buffer_.reset();
    capacity_ = 0;
    size_ = 0;
  }

 private:
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

}  // namespace ondravane
