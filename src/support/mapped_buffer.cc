// Mapping, growing and unmapping the pages of a buffer.
#include "support/mapped_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace ondravane {

namespace {

std::size_t whole_pages(std::size_t size) {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  if (size > static_cast<std::size_t>(-1) - page) throw std::bad_alloc();
  return (size + page - 1) / page * page;
}

// ThreadSanitizer does not follow mremap: pages moved away keep, at their old
// address, the accesses of the thread that wrote them, and the next buffer
// mapped there seems to race with it. Under it, a buffer grows by a copy.
#if defined(__SANITIZE_THREAD__)
constexpr bool kGrowByRemap = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kGrowByRemap = false;
#else
constexpr bool kGrowByRemap = true;
#endif
#else
constexpr bool kGrowByRemap = true;
#endif

void* map_pages(std::size_t pages) {
  return ::mmap(nullptr, pages, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

}  // namespace

void MappedBuffer::reserve(std::size_t size, std::size_t keep) {
  if (size <= capacity_) return;
  const std::size_t pages = whole_pages(size);
  if (pages == mapped_) {
    capacity_ = size;
    return;
  }
  void* data;
  if (keep != 0 && kGrowByRemap) {
    data = ::mremap(data_, mapped_, pages, MREMAP_MAYMOVE);
  } else if (keep != 0) {
    data = map_pages(pages);
    if (data == MAP_FAILED) throw std::bad_alloc();
    std::memcpy(data, data_, keep);
    ::munmap(data_, mapped_);
  } else {
    release();
    data = map_pages(pages);
  }
  if (data == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<char*>(data);
  capacity_ = size;
  mapped_ = pages;
}

void MappedBuffer::release() noexcept {
  if (data_ != nullptr) ::munmap(data_, mapped_);
  data_ = nullptr;
  capacity_ = 0;
  mapped_ = 0;
}

}  // namespace ondravane
