// What the work on one chunk may ask of the workers while it runs: whether
// to stop, and to wait for its turn to hold more than its share.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace ondravane {

template <typename Chunk, typename Work>
class OrderedWorkers;

// What the work on one chunk may ask of the workers while it runs.
class WorkShift {
 public:
  // Whether the results are no longer wanted, so a long chunk may be left
  // early.
  bool stopping() const { return stopping_.load(std::memory_order_relaxed); }
  // Waits until every chunk handed out before this one has been taken back,
  // so that this one may hold more than its share of the budget (a line
  // longer than the budget is worked on alone); false when the work stops
  // first. Being the oldest, the chunk never waits for a younger one.
  bool wait_to_be_oldest() const {
    std::unique_lock lock(mutex_);
    oldest_changed_.wait(lock, [&] { return consumed_ == sequence_ || stopping(); });
    return consumed_ == sequence_;
  }

 private:
  template <typename, typename>
  friend class OrderedWorkers;
  WorkShift(const std::atomic<bool>& stopping, std::mutex& mutex, std::condition_variable& oldest_changed,
            const std::size_t& consumed, std::size_t sequence)
      : stopping_(stopping), mutex_(mutex), oldest_changed_(oldest_changed), consumed_(consumed),
        sequence_(sequence) {}

  const std::atomic<bool>& stopping_;
  std::mutex& mutex_;
  std::condition_variable& oldest_changed_;
  const std::size_t& consumed_;  // guarded by mutex_
  std::size_t sequence_;         // the chunk's place in the order handed out
};

}  // namespace ondravane
