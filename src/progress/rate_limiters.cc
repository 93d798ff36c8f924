// The draw limiter's clock arithmetic.
#include "progress/rate_limiters.h"

namespace ondravane {

bool RateLimiter::allow(ProgressClock::time_point now) {
  if (now < last_) return false;
  std::uint64_t elapsed_ns = static_cast<std::uint64_t>((now - last_).count());
  std::uint64_t interval_ns = std::uint64_t{interval_ms_} * 1'000'000;
  if (capacity_ == 0 && elapsed_ns < interval_ns) return false;
  std::uint64_t intervals = elapsed_ns / 1'000'000 / interval_ms_;
  std::uint64_t remainder_ns = elapsed_ns % interval_ns;
  capacity_ = static_cast<std::uint8_t>(std::min<std::uint64_t>(kCapacity, capacity_ + intervals - 1));
  last_ = now - std::chrono::nanoseconds(remainder_ns);
  return true;
}

}  // namespace ondravane
