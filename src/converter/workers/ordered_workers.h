// Worker threads that process chunks handed to them in order, while the
// thread that hands them out takes the results back in the same order. A
// fixed ring of chunks is reused, so memory is bounded by the ring, never by
// the input; each chunk keeps its buffers from one use to the next.
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

namespace ondravane {

template <typename Chunk, typename Work>
class OrderedWorkers {
 public:
  // Starts `threads` workers, each calling `work(chunk, stopping)` on chunks
  // in submission order; `stopping` turns true when the results are no
  // longer wanted, so a long chunk may be left early. `ring` chunks at most
  // are in flight.
  //
  // When the system refuses a thread (a thousand stacks do not fit in the
  // address space of a 32-bit process), the work goes on with the workers
  // that started, and the ring shrinks in proportion, so the results are the
  // same and the memory in flight follows the workers that exist.
  OrderedWorkers(unsigned threads, std::size_t ring, Work work) : slots_(ring), work_(std::move(work)) {
    try {
      workers_.reserve(threads);
      for (unsigned i = 0; i < threads; ++i) {
        try {
          workers_.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
          if (workers_.empty()) throw;
          break;
        }
      }
    } catch (...) {
      stop();
      throw;
    }
    std::lock_guard lock(mutex_);
    ring_ = std::max<std::size_t>(1, ring * workers_.size() / threads);
  }
  // Stops the workers (a chunk being processed is finished or left early)
  // and waits for them.
  ~OrderedWorkers() { stop(); }
  OrderedWorkers(const OrderedWorkers&) = delete;
  OrderedWorkers& operator=(const OrderedWorkers&) = delete;

  // Whether another chunk may be filled and submitted.
  bool has_room() const { return submitted_ - consumed_ < ring_; }
  // Whether a submitted chunk has not been taken back yet.
  bool pending() const { return consumed_ < submitted_; }

  // The next free chunk (has_room() must hold); submit() hands it out.
  Chunk& free_chunk() { return slots_[submitted_ % ring_].chunk; }
  void submit() {
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
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[consumed_ % ring_];
    slot.done = false;
    slot.error = nullptr;
    ++consumed_;
  }

 private:
  struct Slot {
    Chunk chunk;
    bool done = false;  // guarded by mutex_
    std::exception_ptr error;
  };

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [&] { return stopping_ || taken_ < submitted_; });
      if (stopping_) return;
      Slot& slot = slots_[taken_++ % ring_];
      lock.unlock();
      std::exception_ptr error;
      try {
        work_(slot.chunk, stopping_);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      slot.error = error;
      slot.done = true;
      chunk_done_.notify_all();
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }

  std::vector<Slot> slots_;
  std::size_t ring_ = 0;  // slots in use; set before any chunk is handed out
  Work work_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable chunk_done_;
  std::atomic<bool> stopping_ = false;
  // Counters of chunks: handed out, taken by a worker, taken back. Written
  // under mutex_; the handing thread alone writes submitted_ and consumed_.
  std::size_t submitted_ = 0;
  std::size_t taken_ = 0;
  std::size_t consumed_ = 0;
  std::vector<std::thread> workers_;  // last: started after everything they use
};

}  // namespace ondravane
