// Where a progress bar draws: a terminal on one file descriptor, redrawn in
// place with ANSI sequences. Each redraw erases the rows the previous one
// took, writes the new line padded to the terminal width, and reaches the
// terminal as a single write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "progress/bar_layout.h"
#include "progress/rate_limiters.h"

namespace ondravane {

inline constexpr std::size_t kDefaultColumns = 80;

// Appends the sequence that erases `rows` rows drawn last and leaves the
// cursor at the start of the first of them.
void append_erase(std::string& out, std::size_t rows);

// Appends one redraw to `out`: the erase of `rows_drawn_last` rows, then
// `line` (when not null) padded with spaces to `columns`. Returns how many
// rows the terminal now shows.
std::size_t compose_redraw(std::string& out, std::size_t rows_drawn_last, const BarLine* line,
                           std::size_t columns);

// The width to lay out for: the columns of the terminal on `draw_fd`, asked
// only when `width_gate_fd` is a terminal too, else kDefaultColumns.
std::size_t terminal_columns(int draw_fd, int width_gate_fd);

class ProgressDrawTarget {
 public:
  // Whether `draw_fd` is a terminal is decided once, here: a target that is
  // not one never writes anything.
  ProgressDrawTarget(int draw_fd, int width_gate_fd, ProgressClock::time_point now);

  bool is_terminal() const { return is_terminal_; }
  std::size_t columns() const { return terminal_columns(draw_fd_, width_gate_fd_); }

  // The redraw limiter: whether an unforced redraw may reach the terminal.
  bool allow_redraw(ProgressClock::time_point now) { return limiter_.allow(now); }

  // Replaces what was drawn with `line`, or just erases it when `line` is
  // null. Write errors are ignored: the next redraw simply tries again.
  void show(const BarLine* line, std::size_t columns);

 private:
  int draw_fd_;
  int width_gate_fd_;
  bool is_terminal_;
  std::size_t rows_drawn_ = 0;
  RateLimiter limiter_;
  std::string buffer_;
};

}  // namespace ondravane
