// Chunks read from ranges of a file: a buffer that ordinary lines fill again
// is kept for the chunks to come, up to the bytes kept, one that grew for a
// long line is given back; ranges grow with the lines seen; a line that goes
// on past its range is read with little beyond its end; chunks beside each
// other read the bytes around their boundary once.
#include "converter/input/chunk_ranges.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "generated_corpus.h"

namespace ondravane {
namespace {

using test_support::corpus::ScratchDir;
using test_support::corpus::write_whole;

constexpr std::size_t kRange = 4096;

struct LongLine {
  const char* name;
  double ranges;  // the line's length in ranges
  std::size_t spare_bytes;
  bool kept;
};

class ChunkRangesTest : public ScratchDir, public testing::WithParamInterface<LongLine> {};

TEST_P(ChunkRangesTest, KeepsABufferOrdinaryLinesFillAgain) {
  const LongLine& line = GetParam();
  // A short line, then the long one, which starts in the second range.
  const std::string text = std::string(kRange + 10, 'a') + "\n" +
                           std::string(static_cast<std::size_t>(line.ranges * kRange), 'b') + "\n";
  write_whole(dir_ + "/in.jsonl", text);
  const int fd = ::open((dir_ + "/in.jsonl").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ChunkRanges ranges(fd, text.size(), kRange, line.spare_bytes);
  ChunkBytes chunk, next;
  ASSERT_TRUE(ranges.fill(chunk));
  ASSERT_TRUE(ranges.fill(chunk));
  // A line that fits in four ranges is read whole within a limit of four
  // ranges (the window also holds the byte before the range).
  ASSERT_TRUE(chunk.load(line.ranges < 3 ? 4 * kRange : SIZE_MAX));
  EXPECT_EQ(chunk.lines(), text.substr(kRange + 11));
  const std::size_t held = chunk.capacity();
  ranges.release(chunk);
  EXPECT_EQ(chunk.capacity(), 0u);
  ASSERT_TRUE(ranges.fill(next));
  EXPECT_EQ(next.capacity(), line.kept ? held : 0) << held;
  ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Lines, ChunkRangesTest,
                         testing::Values(LongLine{"OneAndAHalfRanges", 1.6, 8 * kRange, true},
                                         LongLine{"AlmostThreeRanges", 2.9, 8 * kRange, true},
                                         LongLine{"TenRanges", 10, 64 * kRange, false},
                                         LongLine{"BeyondTheBytesKept", 1.6, 2 * kRange, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The bytes this process has read so far.
std::uint64_t bytes_read() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

class ChunkRangesReadingTest : public ScratchDir {
 protected:
  int open_text(const std::string& text) {
    write_whole(dir_ + "/in.jsonl", text);
    fd_ = ::open((dir_ + "/in.jsonl").c_str(), O_RDONLY | O_CLOEXEC);
    return fd_;
  }
  void TearDown() override {
    if (fd_ >= 0) ::close(fd_);
    ScratchDir::TearDown();
  }
  int fd_ = -1;
};

// The lines of `text` from `offset`, lying in the buffer where that offset
// lies within a page of the file: the kernel's copy of a read is fast on
// every processor only when source and destination share their offset.
void expect_lines(const ChunkBytes& chunk, const std::string& text, std::size_t offset, std::size_t length) {
  EXPECT_EQ(chunk.lines(), text.substr(offset, length));
  EXPECT_EQ((reinterpret_cast<std::uintptr_t>(chunk.lines().data()) - offset) % 4096, 0u) << offset;
}

TEST_F(ChunkRangesReadingTest, RangesGrowToTwiceTheLongestLineSeen) {
  // Lines of 3,000 bytes: the first range sees the second line go on past
  // it, so the ranges after it span 6,000 bytes and hold two line starts.
  std::string text;
  for (int i = 0; i < 8; ++i) text += std::string(2999, static_cast<char>('a' + i)) + "\n";
  ASSERT_GE(open_text(text), 0);
  ChunkRanges ranges(fd_, text.size(), kRange);
  ChunkBytes chunk;
  ASSERT_TRUE(ranges.fill(chunk));
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  expect_lines(chunk, text, 0, 6000);
  ranges.release(chunk);
  ASSERT_TRUE(ranges.fill(chunk));  // [4096, 10096)
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  expect_lines(chunk, text, 6000, 6000);
  ranges.release(chunk);
  ASSERT_TRUE(ranges.fill(chunk));  // [10096, 16096)
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  expect_lines(chunk, text, 12000, 6000);
  ranges.release(chunk);
  // Never past twice the chunk size, however long the lines.
  const std::string long_lines = std::string(3 * kRange - 1, 'x') + "\n" + std::string(20 * kRange, 'y') + "\n";
  ::close(fd_);
  ASSERT_GE(open_text(long_lines), 0);
  ChunkRanges capped(fd_, long_lines.size(), kRange);
  ASSERT_TRUE(capped.fill(chunk));
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  capped.release(chunk);
  ASSERT_TRUE(capped.fill(chunk));  // [4096, 12288): the second line starts just after it
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  EXPECT_TRUE(chunk.lines().empty());
  capped.release(chunk);
  ASSERT_TRUE(capped.fill(chunk));  // [12288, 20480)
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  expect_lines(chunk, long_lines, 3 * kRange, std::string::npos);
}

TEST_F(ChunkRangesReadingTest, ReadsALineGoingOnLittlePastItsEnd) {
  // The line that goes on past the first range ends 1,000 bytes past 256
  // windows: reading on in steps as large as what was read reached 512.
  const std::size_t line_end = 256 * kRange + 1000;
  const std::string text = std::string(99, 'a') + "\n" + std::string(line_end - 101, 'b') + "\n" +
                           std::string(3 << 20, 'c') + "\n";
  ASSERT_GE(open_text(text), 0);
  ChunkRanges ranges(fd_, text.size(), kRange);
  ChunkBytes chunk;
  ASSERT_TRUE(ranges.fill(chunk));
  const std::uint64_t before = bytes_read();
  ASSERT_TRUE(chunk.load(SIZE_MAX));
  const std::uint64_t read = bytes_read() - before;
  EXPECT_EQ(chunk.lines(), text.substr(0, line_end));
  EXPECT_GE(read, line_end);
  EXPECT_LE(read, line_end + line_end / 4 + (64 << 10));
}

// Lines of one and a half ranges, every range filled before any is loaded,
// as workers do. In file order, each chunk starts at the line start the one
// before found, reading none of that line, and a range inside a line is not
// read at all; in reverse order, each reads on exactly to the line start
// the one after found. Either way the chunks hold the file's lines once.
TEST_F(ChunkRangesReadingTest, ChunksBesideEachOtherReadTheBytesAroundTheirBoundaryOnce) {
  constexpr std::size_t kLargeRange = std::size_t{1} << 20;
  constexpr std::size_t kTailStep = std::size_t{64} << 10;
  constexpr std::size_t kCountersRead = 256;  // /proc/self/io, read to count
  std::string text;
  for (char c = 'a'; c < 'g'; ++c) text += std::string(kLargeRange * 3 / 2 - 1, c) + "\n";
  ASSERT_GE(open_text(text), 0);
  const std::size_t count = text.size() / kLargeRange;
  for (const bool reversed : {false, true}) {
    ChunkRanges ranges(fd_, text.size(), kLargeRange);
    std::vector<ChunkBytes> chunks(count);
    for (ChunkBytes& chunk : chunks) ASSERT_TRUE(ranges.fill(chunk));
    std::vector<std::uint64_t> read(count);
    for (std::size_t step = 0; step < count; ++step) {
      const std::size_t i = reversed ? count - 1 - step : step;
      const std::uint64_t before = bytes_read();
      ASSERT_TRUE(chunks[i].load(SIZE_MAX));
      read[i] = bytes_read() - before;
    }
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view lines = chunks[i].lines();
      const std::size_t first = joined.size();  // where the chunk's lines start in the file
      joined += lines;
      const std::size_t begin = i * kLargeRange;
      const std::size_t range_end = begin + kLargeRange;
      if (!reversed && lines.empty()) {
        EXPECT_LE(read[i], kCountersRead) << i;
      } else if (!reversed) {
        // Past the range, in steps: a quarter of the line's rest at most.
        const std::size_t rest = first + lines.size() - range_end;
        EXPECT_GE(read[i], lines.size()) << i;
        EXPECT_LE(read[i], lines.size() + std::max(kTailStep, rest / 4) + kCountersRead) << i;
      } else if (!lines.empty()) {
        // From the byte before the range to exactly the line's LF.
        const std::size_t exact = lines.size() + (first - begin) + (i == 0 ? 0 : 1);
        EXPECT_GE(read[i], exact) << i;
        EXPECT_LE(read[i], exact + kCountersRead) << i;
      }
    }
    EXPECT_EQ(joined, text) << reversed;
  }
}

}  // namespace
}  // namespace ondravane
