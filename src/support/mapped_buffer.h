// Bytes in pages of their own, mapped from the system and given back to it
// when released. The buffers that hold a file's lines grow and shrink with
// the lines: taken from the heap, what a worker thread freed would stay in
// its thread's arena, so every worker would keep the memory of the longest
// line it ever held. Mapped, they are returned at once, and growing one
// moves its pages instead of copying them. Those of 2 MiB or more are
// mapped so that the kernel may back them with huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace ondravane {

// The kernel copies what a read returns with `rep movsb`, which on AMD's Zen
// processors takes five times as long when the destination lies 1 to 31
// bytes past the source's place within a page (in a write too). So bytes
// read into a buffer of whole pages go at the place they have within a page
// of the file, and bytes written leave from the place they will take: the
// same offset on both sides, fast on every processor.
inline constexpr std::size_t kPageBytes = 4096;
inline std::size_t place_in_page(std::uint64_t offset) { return static_cast<std::size_t>(offset % kPageBytes); }

class MappedBuffer {
 public:
  MappedBuffer() = default;
  ~MappedBuffer() { release(); }
  MappedBuffer(MappedBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        capacity_(std::exchange(other.capacity_, 0)),
        mapped_(std::exchange(other.mapped_, 0)) {}
  MappedBuffer& operator=(MappedBuffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      capacity_ = std::exchange(other.capacity_, 0);
      mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
  }

  char* get() const { return data_; }
  std::size_t capacity() const { return capacity_; }

  // Room for at least `size` bytes, keeping the first `keep` (at most the
  // capacity). Raises std::bad_alloc when the system has no room.
  void reserve(std::size_t size, std::size_t keep);
  // Gives the pages back.
  void release() noexcept;

 private:
  char* data_ = nullptr;
  std::size_t capacity_ = 0;  // as asked for
  std::size_t mapped_ = 0;    // whole pages
};

}  // namespace ondravane
