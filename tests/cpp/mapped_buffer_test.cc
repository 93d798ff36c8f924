// Buffers of whole pages: the bytes they keep as they grow, and where the
// large ones are mapped.
#include "support/mapped_buffer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace ondravane {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

char byte_at(std::size_t i) { return static_cast<char>((i * 131) ^ (i >> 12)); }

// The VmFlags of the mapping that holds `address`, from /proc/self/smaps.
std::string mapping_flags(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    unsigned long long start = 0;
    unsigned long long end = 0;
    char dash = 0;
    std::istringstream fields(line);
    if (fields >> std::hex >> start >> dash >> end && dash == '-') {
      inside = start <= at && at < end;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return {};
}

// Sizes across the line between small pages and huge ones, each buffer grown
// from the one before it.
const std::vector<std::size_t> kSizes = {1, 4095, 100000, kMiB - 8192, kMiB, kMiB + 1, 2 * kMiB + 4096,
                                         9 * kMiB + 5};

TEST(MappedBufferTest, GrowingKeepsTheBytesKept) {
  MappedBuffer buffer;
  std::size_t filled = 0;
  for (const std::size_t size : kSizes) {
    buffer.reserve(size, filled);
    ASSERT_GE(buffer.capacity(), size);
    for (std::size_t i = 0; i < filled; ++i) {
      ASSERT_EQ(buffer.get()[i], byte_at(i)) << "byte " << i << " growing to " << size;
    }
    for (std::size_t i = filled; i < size; ++i) buffer.get()[i] = byte_at(i);
    filled = size;
  }
  // Without bytes to keep, the buffer may be mapped anew: it is whole all the same.
  buffer.reserve(16 * kMiB, 0);
  buffer.get()[16 * kMiB - 1] = 'x';
  EXPECT_EQ(buffer.get()[16 * kMiB - 1], 'x');
  buffer.release();
  EXPECT_EQ(buffer.get(), nullptr);
  EXPECT_EQ(buffer.capacity(), 0U);
}

// A size the system cannot map fails as an allocation does: a buffer that
// could not grow keeps its bytes, one asked for anew is left empty.
TEST(MappedBufferTest, SizesPastTheAddressSpaceFailAsAllocations) {
  MappedBuffer buffer;
  buffer.reserve(2 * kMiB, 0);
  for (std::size_t i = 0; i < 2 * kMiB; ++i) buffer.get()[i] = byte_at(i);
  char* const before = buffer.get();
  const std::size_t most = static_cast<std::size_t>(-1);
  // Past a small page, past a huge page, and a size of whole huge pages that
  // no address space has room for.
  const std::size_t sizes[] = {most, most - 4096, most - (std::size_t{3} << 20), most - (std::size_t{64} << 20)};
  for (const std::size_t size : sizes) {
    EXPECT_THROW(buffer.reserve(size, 2 * kMiB), std::bad_alloc) << size;
    ASSERT_EQ(buffer.get(), before);
    ASSERT_EQ(buffer.capacity(), 2 * kMiB);
  }
  for (std::size_t i = 0; i < 2 * kMiB; ++i) ASSERT_EQ(buffer.get()[i], byte_at(i)) << i;
  EXPECT_THROW(buffer.reserve(sizes[3], 0), std::bad_alloc);
  EXPECT_EQ(buffer.get(), nullptr);
  EXPECT_EQ(buffer.capacity(), 0U);
}

// Buffers of half a huge page (1 MiB) or more start at a huge page's boundary and
// carry the advice, however they were made, so the kernel can back them
// with huge pages; smaller ones are left alone.
TEST(MappedBufferTest, LargeBuffersAreMappedForHugePages) {
  struct stat info{};
  const bool advisable = ::stat("/sys/kernel/mm/transparent_hugepage", &info) == 0;
  for (const bool grown : {false, true}) {
    MappedBuffer buffer;
    std::size_t previous = 0;
    for (const std::size_t size : kSizes) {
      buffer.reserve(size, grown ? previous : 0);
      previous = size;
      const bool large = size >= kMiB;
      const auto address = reinterpret_cast<std::uintptr_t>(buffer.get());
      if (large) {
        EXPECT_EQ(address % kHugePage, 0U) << size;
      }
      const std::string flags = mapping_flags(buffer.get());
      ASSERT_FALSE(flags.empty()) << size;
      if (advisable) {
        EXPECT_EQ(flags.find(" hg") != std::string::npos, large) << size << ": " << flags;
      }
    }
  }
}

}  // namespace
}  // namespace ondravane
