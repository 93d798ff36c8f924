// Buffers of whole pages: the bytes they keep as they grow, where the large
// ones are mapped, and sizes that no address space holds.
#include "support/mapped_buffer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>

namespace ondravane {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

char byte_at(std::size_t i) { return static_cast<char>((i * 131) ^ (i >> 12)); }

// The VmFlags line of the mapping that holds `address`, from /proc/self/smaps.
std::string mapping_flags(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long long start = 0;
    unsigned long long end = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &start, &end) == 2) {
      inside = start <= at && at < end;
    } else if (inside && line.starts_with("VmFlags:")) {
      return line;
    }
  }
  return {};
}

// Grown across the line between small pages and huge ones, by moving its
// pages or mapped anew: the bytes kept stay, and from 2 MiB on the buffer
// starts at a 2 MiB boundary and is advised for huge pages.
TEST(MappedBufferTest, KeepsItsBytesAndMapsLargeBuffersForHugePages) {
  struct stat info{};
  const bool advisable = ::stat("/sys/kernel/mm/transparent_hugepage", &info) == 0;
  for (const bool keep : {true, false}) {
    MappedBuffer buffer;
    std::size_t filled = 0;
    for (const std::size_t size : {std::size_t{4095}, kMiB, 2 * kMiB - 4096, 2 * kMiB, 2 * kMiB + 4096, 9 * kMiB + 5}) {
      buffer.reserve(size, keep ? filled : 0);
      for (std::size_t i = 0; keep && i < filled; ++i) ASSERT_EQ(buffer.get()[i], byte_at(i)) << size;
      for (std::size_t i = 0; i < size; ++i) buffer.get()[i] = byte_at(i);
      filled = size;
      const bool large = size >= 2 * kMiB;
      if (large) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.get()) % (2 * kMiB), 0U) << size;
      }
      const std::string flags = mapping_flags(buffer.get());
      if (advisable) {
        EXPECT_EQ(flags.find(" hg") != std::string::npos, large) << size << ": " << flags;
      }
    }
  }
}

// A size no address space holds fails as an allocation does, and the
// buffer that could not grow keeps its bytes.
TEST(MappedBufferTest, SizesPastTheAddressSpaceFailAsAllocations) {
  MappedBuffer buffer;
  buffer.reserve(2 * kMiB, 0);
  buffer.get()[2 * kMiB - 1] = 'x';
  char* const before = buffer.get();
  const std::size_t most = static_cast<std::size_t>(-1);
  // Past a small page, past a huge page, and whole huge pages beyond reach.
  for (const std::size_t size : {most, most - (std::size_t{3} << 20), most - (std::size_t{64} << 20)}) {
    EXPECT_THROW(buffer.reserve(size, 2 * kMiB), std::bad_alloc) << size;
    ASSERT_EQ(buffer.get(), before);
    EXPECT_EQ(buffer.get()[2 * kMiB - 1], 'x');
  }
}

}  // namespace
}  // namespace ondravane
