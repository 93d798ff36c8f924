// A one-line progress bar on standard error, drawn only when that is a
// terminal. A stage creates it with the number of steps it expects, advances
// it as it works and finishes and clears it at the end, leaving no trace.
#pragma once

#include <cstdint>
#include <mutex>

#include "progress/draw_target.h"
#include "progress/rate_limiters.h"

namespace ondravane {

class ProgressBar {
 public:
  // A bar on standard error. Draws nothing until the first advance.
  explicit ProgressBar(std::uint64_t length) : ProgressBar(length, 2, 1) {}
  // A bar drawn on `draw_fd`, using the real terminal width only when
  // `width_gate_fd` is a terminal as well (standard output for a real bar).
  ProgressBar(std::uint64_t length, int draw_fd, int width_gate_fd);

  // Finishes and clears a bar still in progress, except while an exception
  // unwinds the scope that created the bar: then the last drawn line stays,
  // so that the failure report that follows is read next to it.
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Advances the position by `delta` and redraws when both limiters allow.
  void inc(std::uint64_t delta);
  // Sets the position to the length and erases the bar's rows, leaving the
  // cursor at the start of the first of them.
  void finish_and_clear();

  std::uint64_t position() const { return position_.get(); }

 private:
  // Every clock of the bar starts at the same creation instant.
  ProgressBar(std::uint64_t length, int draw_fd, int width_gate_fd, ProgressClock::time_point now);

  void redraw_locked(bool forced, ProgressClock::time_point now);

  const std::uint64_t length_;
  const int uncaught_at_creation_;
  AtomicPosition position_;
  std::mutex lock_;
  bool finished_ = false;      // guarded by lock_
  ProgressDrawTarget target_;  // guarded by lock_
  const bool draws_;           // the draw target is a terminal
};

}  // namespace ondravane
