// The buffers of chunks read from ranges of a file: one that ordinary lines
// fill again is kept for the chunks to come, up to the bytes kept, one that
// grew for a long line is given back.
#include "converter/input/chunk_ranges.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace ondravane
