// The progress bar: its limiters, layout and terminal output, byte for byte.
#include "progress/progress_bar.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "progress/bar_layout.h"
#include "progress/draw_target.h"
#include "progress/rate_limiters.h"

namespace ondravane {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::string repeat(std::string_view cell, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += cell;
  return out;
}

struct LayoutCase {
  const char* name;
  std::uint64_t pos;
  std::uint64_t len;
  std::size_t width;
  std::size_t done;
  std::size_t remaining;
  const char* suffix;
};

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, CellsAndSuffix) {
  const LayoutCase& c = GetParam();
  BarLine line = layout_bar(c.pos, c.len, c.width);
  std::string suffix = c.suffix;
  EXPECT_EQ(line.text, repeat(kDoneCell, c.done) + repeat(kRemainingCell, c.remaining) + suffix);
  EXPECT_EQ(line.columns, c.done + c.remaining + suffix.size());
}

INSTANTIATE_TEST_SUITE_P(
    Bar, LayoutTest,
    testing::Values(
        LayoutCase{"Quarter", 250, 1000, 80, 17, 54, " 250/1000"},
        LayoutCase{"Start", 0, 1000, 80, 0, 73, " 0/1000"},
        LayoutCase{"Full", 1000, 1000, 80, 70, 0, " 1000/1000"},
        LayoutCase{"AlmostFull", 999, 1000, 80, 70, 1, " 999/1000"},
        LayoutCase{"BeyondLength", 2500, 1000, 80, 70, 0, " 2500/1000"},
        LayoutCase{"EmptyLengthUnadvanced", 0, 0, 80, 76, 0, " 0/0"},
        LayoutCase{"EmptyLengthAdvanced", 5, 0, 80, 76, 0, " 5/0"},
        LayoutCase{"SuffixFillsWidth", 250, 1000, 9, 0, 0, " 250/1000"},
        LayoutCase{"NarrowerThanSuffix", 250, 1000, 5, 0, 0, " 250/1000"},
        LayoutCase{"OneCell", 250, 1000, 10, 0, 1, " 250/1000"},
        // In single precision 16777217 rounds to 16777216, so the fraction
        // is exactly 1; in double it would leave the last cell undone.
        LayoutCase{"SinglePrecisionFraction", 16777216, 16777217, 80, 62, 0, " 16777216/16777217"},
        // 13/23 rounds down to the float 4741387 / 2^23, and 23 cells times
        // that, 13 - 3 * 2^-23, rounds to 13 in single precision: thirteen
        // cells done. Kept in extended precision (x87), fraction and product
        // stay below 13: twelve.
        LayoutCase{"SinglePrecisionProduct", 13, 23, 29, 13, 10, " 13/23"},
        LayoutCase{"MaximumPosition", UINT64_MAX, 7, 30, 7, 0, " 18446744073709551615/7"}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

struct EraseCase {
  std::size_t rows;
  const char* expected;
};

class EraseTest : public testing::TestWithParam<EraseCase> {};

TEST_P(EraseTest, ErasesEveryRowAndReturnsToTheFirst) {
  std::string out = "x";
  append_erase(out, GetParam().rows);
  EXPECT_EQ(out, std::string("x") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EraseTest,
    testing::Values(EraseCase{0, ""}, EraseCase{1, "\r\x1b[2K"},
                    EraseCase{2, "\x1b[1A\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1A"},
                    EraseCase{3, "\x1b[2A\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[2A"},
                    EraseCase{12, "\x1b[11A\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K"
                                  "\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K"
                                  "\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1B\r\x1b[2K"
                                  "\x1b[11A"}));

struct RedrawCase {
  std::size_t rows_before;
  std::size_t line_columns;  // 0: no line
  std::size_t terminal_columns;
  std::size_t padding;
  std::size_t rows_after;
};

class ComposeRedrawTest : public testing::TestWithParam<RedrawCase> {};

TEST_P(ComposeRedrawTest, PadsToTheTerminalAndCountsRows) {
  const RedrawCase& c = GetParam();
  BarLine line{std::string(c.line_columns, '#'), c.line_columns};
  std::string out;
  std::size_t rows = compose_redraw(out, c.rows_before, c.line_columns ? &line : nullptr, c.terminal_columns);
  std::string expected;
  append_erase(expected, c.rows_before);
  if (c.line_columns) expected += line.text + std::string(c.padding, ' ');
  EXPECT_EQ(out, expected);
  EXPECT_EQ(rows, c.rows_after);
}

INSTANTIATE_TEST_SUITE_P(Lines, ComposeRedrawTest,
                         testing::Values(RedrawCase{0, 75, 80, 5, 1}, RedrawCase{1, 80, 80, 0, 1},
                                         RedrawCase{1, 81, 80, 0, 2}, RedrawCase{2, 9, 5, 0, 2},
                                         RedrawCase{0, 11, 5, 0, 3}, RedrawCase{3, 9, 5, 0, 2},
                                         RedrawCase{2, 0, 80, 0, 0}, RedrawCase{0, 0, 80, 0, 0}));

const ProgressClock::time_point kStart{std::chrono::seconds(1000)};

// Times (after kStart) at which an advance is tried, and which of them pass.
struct LimiterStep {
  nanoseconds at;
  bool allowed;
};

TEST(PositionLimiter, BurstThenOnePerMillisecondKeepingTheRemainder) {
  AtomicPosition limiter(kStart);
  std::vector<LimiterStep> steps;
  for (int i = 0; i < 10; ++i) steps.push_back({microseconds(i), true});
  steps.push_back({microseconds(10), false});
  steps.push_back({microseconds(999), false});
  steps.push_back({microseconds(1000) + nanoseconds(500), true});  // last becomes 1 ms
  steps.push_back({microseconds(1999), false});
  steps.push_back({microseconds(2000), true});  // a whole millisecond after 1 ms
  steps.push_back({microseconds(2001), false});
  // 5 idle milliseconds give 4 spare units besides the one being spent.
  steps.push_back({microseconds(7000), true});
  for (int i = 0; i < 4; ++i) steps.push_back({microseconds(7000), true});
  steps.push_back({microseconds(7000), false});
  // A long pause refills at most 10.
  for (int i = 0; i < 11; ++i) steps.push_back({milliseconds(1000), true});
  steps.push_back({milliseconds(1000), false});
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(limiter.allow(kStart + steps[i].at), steps[i].allowed) << "step " << i;
  }
}

TEST(PositionLimiter, RefusesTimesBeforeCreation) {
  AtomicPosition limiter(kStart);
  EXPECT_FALSE(limiter.allow(kStart - nanoseconds(1)));
  EXPECT_TRUE(limiter.allow(kStart));
}

TEST(DrawLimiter, BurstOfTwentyThenOnePerFiftyMilliseconds) {
  RateLimiter limiter(kStart);
  std::vector<LimiterStep> steps;
  for (int i = 0; i < 20; ++i) steps.push_back({milliseconds(i), true});
  steps.push_back({milliseconds(20), false});
  steps.push_back({milliseconds(49), false});
  steps.push_back({milliseconds(75), true});   // last becomes 50 ms
  steps.push_back({milliseconds(99), false});
  steps.push_back({milliseconds(100), true});  // 50 ms after 50 ms
  steps.push_back({milliseconds(149), false});
  // 250 idle milliseconds: 5 intervals, 4 spare units after this one.
  steps.push_back({milliseconds(350), true});
  for (int i = 0; i < 4; ++i) steps.push_back({milliseconds(350), true});
  steps.push_back({milliseconds(350), false});
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(limiter.allow(kStart + steps[i].at), steps[i].allowed) << "step " << i;
  }
  EXPECT_FALSE(limiter.allow(kStart + milliseconds(300))) << "earlier than the last allowed instant";
}

// Both limiters in the order an advance meets them, for a tight loop that
// advances every 100 microseconds for one second.
TEST(Limiters, TightLoopRedrawTimes) {
  AtomicPosition position(kStart);
  RateLimiter draw(kStart);
  std::vector<std::int64_t> redraws_us;
  for (std::int64_t us = 0; us < 1'000'000; us += 100) {
    ProgressClock::time_point now = kStart + microseconds(us);
    if (position.allow(now) && draw.allow(now)) redraws_us.push_back(us);
  }
  std::vector<std::int64_t> expected;
  for (int i = 0; i < 10; ++i) expected.push_back(i * 100);      // the first 10 calls
  for (int ms = 1; ms <= 10; ++ms) expected.push_back(ms * 1000);  // once per ms up to 20
  for (int ms = 50; ms < 1000; ms += 50) expected.push_back(ms * 1000);
  EXPECT_EQ(redraws_us, expected);
}

// A pseudo-terminal whose far end the test reads.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return slave_ >= 0; }
  int slave() const { return slave_; }

  void set_size(unsigned short rows, unsigned short cols) {
    winsize size{};
    size.ws_row = rows;
    size.ws_col = cols;
    ASSERT_EQ(::ioctl(slave_, TIOCSWINSZ, &size), 0);
  }

  // Everything that arrives within `wait` of the last byte read.
  std::string drain(milliseconds wait = milliseconds(200)) {
    std::string out;
    pollfd poll_fd{master_, POLLIN, 0};
    char chunk[4096];
    while (::poll(&poll_fd, 1, static_cast<int>(wait.count())) > 0) {
      ssize_t got = ::read(master_, chunk, sizeof chunk);
      if (got <= 0) break;
      out.append(chunk, static_cast<std::size_t>(got));
    }
    return out;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

std::string padded(const BarLine& line, std::size_t columns) {
  return line.text + std::string(columns > line.columns ? columns - line.columns : 0, ' ');
}

class TerminalBarTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!terminal_.ok()) GTEST_SKIP() << "no pseudo-terminal available";
    not_a_terminal_ = ::open("/dev/null", O_WRONLY);
    ASSERT_GE(not_a_terminal_, 0);
  }
  void TearDown() override {
    if (not_a_terminal_ >= 0) ::close(not_a_terminal_);
  }

  PseudoTerminal terminal_;
  int not_a_terminal_ = -1;
};

TEST_F(TerminalBarTest, DrawsAtEightyColumnsWhenTheWidthGateIsNoTerminal) {
  terminal_.set_size(24, 120);
  {
    ProgressBar bar(1000, terminal_.slave(), not_a_terminal_);
    EXPECT_EQ(terminal_.drain(milliseconds(20)), "") << "creation draws nothing";
    bar.inc(250);
    EXPECT_EQ(terminal_.drain(), padded(layout_bar(250, 1000, 80), 80));
    bar.finish_and_clear();
    EXPECT_EQ(terminal_.drain(), "\r\x1b[2K");
    EXPECT_EQ(bar.position(), 1000u);
  }
  EXPECT_EQ(terminal_.drain(), "") << "a finished bar's release draws nothing";
}

TEST_F(TerminalBarTest, UsesTheTerminalWidthAndErasesWrappedRows) {
  terminal_.set_size(24, 5);
  ProgressBar bar(1000, terminal_.slave(), terminal_.slave());
  bar.inc(250);
  EXPECT_EQ(terminal_.drain(), " 250/1000");
  bar.inc(1);
  EXPECT_EQ(terminal_.drain(), "\x1b[1A\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1A 251/1000");
  bar.finish_and_clear();
  EXPECT_EQ(terminal_.drain(), "\x1b[1A\r\x1b[2K\x1b[1B\r\x1b[2K\x1b[1A");
}

TEST_F(TerminalBarTest, ReleaseOfAnUnfinishedBarClearsIt) {
  {
    ProgressBar bar(10, terminal_.slave(), not_a_terminal_);
    bar.inc(3);
    EXPECT_EQ(terminal_.drain(), padded(layout_bar(3, 10, 80), 80));
  }
  EXPECT_EQ(terminal_.drain(), "\r\x1b[2K");
}

TEST_F(TerminalBarTest, ReleaseDuringUnwindingLeavesTheLastLine) {
  try {
    ProgressBar bar(10, terminal_.slave(), not_a_terminal_);
    bar.inc(3);
    EXPECT_EQ(terminal_.drain(), padded(layout_bar(3, 10, 80), 80));
    throw std::runtime_error("stage failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(terminal_.drain(), "");
}

TEST_F(TerminalBarTest, BarCreatedWhileUnwindingStillClearsItself) {
  // The unwinding that matters is the one through the bar's own scope, not
  // one that was already under way when the bar was created.
  struct DrawsDuringUnwinding {
    int fd;
    int gate;
    ~DrawsDuringUnwinding() {
      ProgressBar bar(4, fd, gate);
      bar.inc(1);
    }
  };
  try {
    DrawsDuringUnwinding guard{terminal_.slave(), not_a_terminal_};
    throw std::runtime_error("stage failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(terminal_.drain(), padded(layout_bar(1, 4, 80), 80) + "\r\x1b[2K");
}

TEST_F(TerminalBarTest, EmptyBarNeverAdvancedWritesNothing) {
  {
    ProgressBar bar(0, terminal_.slave(), not_a_terminal_);
    bar.finish_and_clear();
  }
  { ProgressBar released_unfinished(0, terminal_.slave(), not_a_terminal_); }
  EXPECT_EQ(terminal_.drain(), "");
}

TEST(FileBar, WritesNothingToANonTerminal) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  int fd = ::fileno(file);
  {
    ProgressBar bar(100, fd, fd);
    for (int i = 0; i < 100; ++i) bar.inc(1);
    EXPECT_EQ(bar.position(), 100u);
    bar.finish_and_clear();
  }
  { ProgressBar unfinished(100, fd, fd); unfinished.inc(5); }
  EXPECT_EQ(::lseek(fd, 0, SEEK_END), 0);
  std::fclose(file);
}

}  // namespace
}  // namespace ondravane
