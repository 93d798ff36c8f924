// A one-line progress bar on standard error, drawn only when that is a
// terminal. Interface only here; see progress_bar.cc.
#pragma once

#include <cstdint>

namespace ondravane {

class ProgressBar {
 public:
  explicit ProgressBar(std::uint64_t length);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void inc(std::uint64_t delta);
  void finish_and_clear();
};

}  // namespace ondravane
