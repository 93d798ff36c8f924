// Cutting a file into chunks of whole lines for worker threads. A failed
// read is kept and raised only after the lines before it are taken back, as
// a reading on one thread meets it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/input/line_source.h"

namespace ondravane {

// Whole lines, terminators included, one after the other.
struct LineBatch {
  std::string text;
  std::vector<std::uint64_t> lengths;
};

class ChunkCutter {
 public:
  ChunkCutter(int fd, std::size_t chunk_bytes) : lines_(fd), chunk_bytes_(chunk_bytes) {}

  // Fills `batch` with about chunk_bytes of lines (at least one); false when
  // nothing was left to put in it.
  bool fill(LineBatch& batch) {
    batch.text.clear();
    batch.lengths.clear();
    if (done_) return false;
    try {
      while (batch.text.size() < chunk_bytes_) {
        const std::optional<std::string_view> raw = lines_.next_line();
        if (!raw) {
          done_ = true;
          break;
        }
        batch.text.append(*raw);
        batch.lengths.push_back(raw->size());
      }
    } catch (...) {
      read_error_ = std::current_exception();
      done_ = true;
    }
    return !batch.lengths.empty();
  }

  // Raises the read failure met, if one was.
  void raise_read_error() const {
    if (read_error_) std::rethrow_exception(read_error_);
  }

 private:
  LineSource lines_;
  std::size_t chunk_bytes_;
  bool done_ = false;
  std::exception_ptr read_error_;
};

}  // namespace ondravane
