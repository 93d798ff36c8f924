// The two limiters that keep a progress bar cheap: one in front of the bar's
// lock, so that most advances cost an atomic add and a clock read, and one in
// front of the terminal, so that it sees at most 20 redraws a second.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <type_traits>

namespace ondravane {

using ProgressClock = std::chrono::steady_clock;

// A bar's position and the limiter that decides which advances may try a
// redraw: a burst of 10, then one per millisecond. Lock-free, because it runs
// on every advance, up to once per output line.
class AtomicPosition {
 public:
  static constexpr std::uint8_t kMaxBurst = 10;
  static constexpr std::uint64_t kIntervalNs = 1'000'000;

  explicit AtomicPosition(ProgressClock::time_point start) : start_(start) {}

  std::uint64_t get() const { return pos_.load(std::memory_order_relaxed); }
  void set(std::uint64_t pos) { pos_.store(pos, std::memory_order_relaxed); }
  // Wraps at 2^64, like every unsigned add.
  void inc(std::uint64_t delta) { pos_.fetch_add(delta, std::memory_order_relaxed); }

  // Whether an advance at `now` may try a redraw. Time that has not yet made
  // a whole interval is kept for later by rounding `last_` down.
  bool allow(ProgressClock::time_point now) {
    if (now < start_) return false;
    std::uint64_t elapsed = static_cast<std::uint64_t>((now - start_).count());
    std::uint8_t capacity = capacity_.load(std::memory_order_acquire);
    std::uint64_t last = last_.load(std::memory_order_acquire);
    std::uint64_t diff = elapsed > last ? elapsed - last : 0;
    if (capacity == 0 && diff < kIntervalNs) return false;
    std::uint64_t intervals = diff / kIntervalNs;
    std::uint64_t remainder = diff % kIntervalNs;
    // capacity + intervals >= 1 here: either capacity is spare or a whole
    // interval has passed.
    capacity_.store(static_cast<std::uint8_t>(std::min<std::uint64_t>(kMaxBurst, capacity + intervals - 1)),
                    std::memory_order_release);
    last_.store(elapsed - remainder, std::memory_order_release);
    return true;
  }

 private:
  static_assert(std::is_same_v<ProgressClock::duration, std::chrono::nanoseconds>);

  std::atomic<std::uint64_t> pos_{0};
  std::atomic<std::uint8_t> capacity_{kMaxBurst};
  std::atomic<std::uint64_t> last_{0};  // nanoseconds after start_
  ProgressClock::time_point start_;
};

// The redraw limiter of a terminal: a burst of 20, then one per 50 ms.
// Used under the bar's lock only.
class RateLimiter {
 public:
  static constexpr std::uint16_t kIntervalMs = 1000 / 20;
  static constexpr std::uint8_t kCapacity = 20;

  explicit RateLimiter(ProgressClock::time_point now) : last_(now) {}

  bool allow(ProgressClock::time_point now);

 private:
  std::uint16_t interval_ms_ = kIntervalMs;
  std::uint8_t capacity_ = kCapacity;
  ProgressClock::time_point last_;
};

}  // namespace ondravane
