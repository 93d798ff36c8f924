// ProgressBar: advancing, redrawing through both limiters, finishing.
#include "progress/progress_bar.h"

#include <exception>

#include "progress/bar_layout.h"
#include "support/failure.h"

namespace ondravane {

ProgressBar::ProgressBar(std::uint64_t length, int draw_fd, int width_gate_fd)
    : ProgressBar(length, draw_fd, width_gate_fd, ProgressClock::now()) {}

ProgressBar::ProgressBar(std::uint64_t length, int draw_fd, int width_gate_fd,
                         ProgressClock::time_point now)
    : length_(length),
      uncaught_at_creation_(std::uncaught_exceptions()),
      position_(now),
      target_(draw_fd, width_gate_fd, now),
      draws_(target_.is_terminal()) {}

ProgressBar::~ProgressBar() {
  std::lock_guard<std::mutex> guard(lock_);
  if (finished_) return;
  if (unwinding_since(uncaught_at_creation_)) {
    finished_ = true;
    return;
  }
  position_.set(length_);
  finished_ = true;
  try {
    redraw_locked(true, ProgressClock::now());
  } catch (...) {
    // Out of memory for the erase sequence: the bar stays on screen, which
    // is better than ending the process from a destructor.
  }
}

void ProgressBar::inc(std::uint64_t delta) {
  position_.inc(delta);
  // A bar that cannot draw needs neither the clock nor the lock.
  if (!draws_) return;
  ProgressClock::time_point now = ProgressClock::now();
  if (!position_.allow(now)) return;
  std::lock_guard<std::mutex> guard(lock_);
  redraw_locked(false, now);
}

void ProgressBar::finish_and_clear() {
  position_.set(length_);
  std::lock_guard<std::mutex> guard(lock_);
  finished_ = true;
  redraw_locked(true, ProgressClock::now());
}

void ProgressBar::redraw_locked(bool forced, ProgressClock::time_point now) {
  if (!draws_) return;
  std::size_t columns = target_.columns();
  // A finished bar only ever erases, and an erase is never held back.
  if (!forced && !finished_ && !target_.allow_redraw(now)) return;
  if (finished_) {
    target_.show(nullptr, columns);
    return;
  }
  BarLine line = layout_bar(position_.get(), length_, columns);
  target_.show(&line, columns);
}

}  // namespace ondravane
