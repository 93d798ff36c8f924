// An activation file opened for reading: the descriptor, the size its
// reading bar measures, and what it takes to read it a second time and know
// that it is still the same file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "support/file_io.h"

namespace ondravane {

class InputFile {
 public:
  // Opens `path` read-only and looks its size up by name, failing as the
  // reader always has (open, then stat of the path).
  explicit InputFile(std::string_view path);

  int fd() const { return fd_.get(); }
  std::uint64_t size() const { return size_; }

  // Whether the file can be read twice with the same bytes: a regular file
  // whose size is real (not one of the generated files of /proc or /sys, or
  // of other pseudo file systems that report 0, whose size has nothing to
  // do with what a read returns).
  bool can_read_twice() const { return rereadable_; }

  // After a first reading of `bytes_read` bytes: notes what the file looked
  // like then. False when the size does not match what was read.
  bool note_first_reading(std::uint64_t bytes_read);

  // Before the second reading: false when the file's size or modification
  // time changed since the first.
  bool unchanged_since_first_reading() const;

 private:
  UniqueFd fd_;
  std::uint64_t size_ = 0;
  bool rereadable_ = false;
  std::uint64_t read_size_ = 0;
  struct timespec read_mtime_ {};
};

// The failure of a file that changed between its two readings.
[[noreturn]] void fail_input_changed();

}  // namespace ondravane
