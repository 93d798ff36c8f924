// Chunks of work handed out in order and taken back in the same order, done
// by worker threads or, when there are none, on the calling thread as they
// are handed out: one way through every reading, whatever the number of
// threads. A fixed ring of chunks is reused, each keeping its buffers from
// one use to the next, and the bytes the chunks in flight hold are bounded
// too, so memory follows the budget, never the input.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "converter/workers/work_shift.h"

namespace ondravane {

// `Chunk` has held_bytes(), the memory it holds once filled; `Work` is
// called as work(chunk, shift) with the chunk's WorkShift.
template <typename Chunk, typename Work>
class OrderedWorkers {
 public:
  // Starts up to `threads` workers with a ring of `ring` chunks and at most
  // `budget` bytes in flight (a chunk alone may hold more: it is then the
  // only one). With no thread at all (0 asked, or the system refuses every
  // one) the work is done by submit() on the calling thread, with a ring of
  // one: the results are the same by construction. When the system refuses
  // some threads (a thousand stacks do not fit in the address space of a
  // 32-bit process), the ring and the budget shrink with the workers started.
  OrderedWorkers(unsigned threads, std::size_t ring, std::size_t budget, Work work)
      : slots_(std::max<std::size_t>(ring, 1)), work_(std::move(work)) {
    try {
      workers_.reserve(threads);
      for (unsigned i = 0; i < threads; ++i) {
        try {
          workers_.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
          break;
        }
      }
    } catch (...) {
      stop();
      throw;
    }
    std::lock_guard lock(mutex_);
    if (workers_.empty()) {
      ring_ = 1;
      budget_ = 0;
    } else {
      ring_ = std::max<std::size_t>(1, slots_.size() * workers_.size() / threads);
      budget_ = budget / threads * workers_.size();
    }
  }
  // Stops the workers (a chunk being worked on is finished or left early)
  // and waits for them.
  ~OrderedWorkers() { stop(); }
  OrderedWorkers(const OrderedWorkers&) = delete;
  OrderedWorkers& operator=(const OrderedWorkers&) = delete;

  // Whether the work is done on the calling thread.
  bool inline_work() const { return workers_.empty(); }

  // Whether another chunk may be filled and submitted.
  bool has_room() const {
    if (submitted_ - consumed_ >= ring_) return false;
    return submitted_ == consumed_ || bytes_in_flight_ < budget_;
  }
  // Whether a submitted chunk has not been taken back yet.
  bool pending() const { return consumed_ < submitted_; }

  // The next free chunk (has_room() must hold); submit() hands it out.
  Chunk& free_chunk() { return slots_[submitted_ % ring_].chunk; }
  void submit() {
    Slot& slot = slots_[submitted_ % ring_];
    slot.bytes = slot.chunk.held_bytes();
    slot.sequence = submitted_;
    bytes_in_flight_ += slot.bytes;
    if (inline_work()) {
      run(slot);
      ++submitted_;
      return;
    }
    {
      std::lock_guard lock(mutex_);
      ++submitted_;
    }
    work_ready_.notify_one();
  }

  // Waits for the oldest submitted chunk (pending() must hold) and returns
  // it; an exception its work raised is raised here instead.
  Chunk& oldest() {
    Slot& slot = slots_[consumed_ % ring_];
    std::unique_lock lock(mutex_);
    chunk_done_.wait(lock, [&] { return slot.done; });
    if (slot.error) std::rethrow_exception(slot.error);
    return slot.chunk;
  }
  // Gives the oldest chunk back to the ring.
  void release_oldest() {
    {
      std::lock_guard lock(mutex_);
      Slot& slot = slots_[consumed_ % ring_];
      slot.done = false;
      slot.error = nullptr;
      bytes_in_flight_ -= slot.bytes;
      ++consumed_;
    }
    oldest_changed_.notify_all();
  }

  // Does the work on `chunk` on the calling thread, for what a worker left.
  void work_here(Chunk& chunk) { work_(chunk, shift(consumed_)); }

 private:
  struct Slot {
    Chunk chunk;
    bool done = false;  // guarded by mutex_
    std::exception_ptr error;
    std::size_t bytes = 0;
    std::size_t sequence = 0;
  };

  WorkShift shift(std::size_t sequence) {
    return WorkShift(stopping_, mutex_, oldest_changed_, consumed_, sequence);
  }

  void run(Slot& slot) {
    std::exception_ptr error;
    try {
      work_(slot.chunk, shift(slot.sequence));
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    slot.error = error;
    slot.done = true;
  }

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [&] { return stopping_ || taken_ < submitted_; });
      if (stopping_) return;
      Slot& slot = slots_[taken_++ % ring_];
      lock.unlock();
      run(slot);
      chunk_done_.notify_all();
      lock.lock();
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_all();
    oldest_changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }

  std::vector<Slot> slots_;
  std::size_t ring_ = 1;    // slots in use; set before any chunk is handed out
  std::size_t budget_ = 0;  // bytes the chunks in flight may hold
  Work work_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable chunk_done_;
  std::condition_variable oldest_changed_;
  std::atomic<bool> stopping_ = false;
  // Counters of chunks: handed out, taken by a worker, taken back. Written
  // under mutex_; the handing thread alone writes submitted_ and consumed_.
  std::size_t submitted_ = 0;
  std::size_t taken_ = 0;
  std::size_t consumed_ = 0;
  std::size_t bytes_in_flight_ = 0;  // the handing thread's alone
  std::vector<std::thread> workers_;  // last: started after everything they use
};

}  // namespace ondravane
