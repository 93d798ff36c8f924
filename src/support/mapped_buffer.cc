// Mapping, growing and unmapping the pages of a buffer.
#include "support/mapped_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
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

void* map_anywhere(std::size_t pages) {
  return ::mmap(nullptr, pages, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

// A buffer of huge pages' size is faulted in a huge page at a time where the
// system allows it: the buffers of lines a few MB long took several thousand
// faults of small pages a run, up to a fifth of the check's CPU time on two
// workers. The kernel backs with a huge page only a whole aligned stretch of
// one mapping that no small page holds yet, so such a buffer starts at a
// huge page's boundary, and one that grows past a huge page is copied into
// its new mapping once rather than moved with its small pages. The mapping
// keeps its size in small pages: only stretches wholly inside the buffer
// become huge pages, so it never holds more memory than its size. (2 MiB is
// x86's huge page, on 32 bits with PAE too.)
constexpr std::size_t kHugePage = std::size_t{2} << 20;

bool in_huge_pages(std::size_t pages) { return pages >= kHugePage; }

// `pages` bytes (whole small pages) starting at a huge page's boundary,
// advised to be backed by huge pages.
void* map_huge(std::size_t pages) {
  const std::size_t slack = kHugePage - whole_pages(1);
  if (pages > static_cast<std::size_t>(-1) - slack) return MAP_FAILED;
  void* const raw = map_anywhere(pages + slack);
  if (raw == MAP_FAILED) return raw;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  if (aligned != start) ::munmap(raw, aligned - start);
  if (start + slack != aligned) ::munmap(reinterpret_cast<void*>(aligned + pages), start + slack - aligned);
  void* const data = reinterpret_cast<void*>(aligned);
  // Only advice: a system without huge pages maps small ones.
  ::madvise(data, pages, MADV_HUGEPAGE);
  return data;
}

void* map_pages(std::size_t pages) { return in_huge_pages(pages) ? map_huge(pages) : map_anywhere(pages); }

// Moves the pages of `data` (`mapped` bytes) to a mapping of `pages` bytes;
// those of a huge page stay one. A buffer of huge pages' size is only ever
// moved from a mapping that map_huge made: the moved pages bring that
// mapping's advice, which covers the grown part too.
void* move_pages(void* data, std::size_t mapped, std::size_t pages) {
  if (!in_huge_pages(pages)) return ::mremap(data, mapped, pages, MREMAP_MAYMOVE);
  void* const target = map_huge(pages);
  if (target == MAP_FAILED) return target;
  void* const moved = ::mremap(data, mapped, pages, MREMAP_MAYMOVE | MREMAP_FIXED, target);
  if (moved == MAP_FAILED) ::munmap(target, pages);
  return moved;
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
  // Growing past a huge page, the small pages are copied rather than moved.
  const bool move = kGrowByRemap && (in_huge_pages(mapped_) || !in_huge_pages(pages));
  if (keep != 0 && move) {
    data = move_pages(data_, mapped_, pages);
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
