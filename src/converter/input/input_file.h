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
  // The size the path's status gave, which the reading bar measures.
  std::uint64_t size() const { return size_; }
  // The size of the open file right after the open (of a file that can be
  // read twice).
  std::uint64_t opened_size() const { return identity_.size; }

  // Whether the file can be read twice with the same bytes: a regular file
  // whose size is real (not one of the generated files of /proc or /sys, or
  // of other pseudo file systems that report 0, whose size has nothing to
  // do with what a read returns).
  bool can_read_twice() const { return rereadable_; }

  // Whether the file is still the one opened, as far as the system tells:
  // the same device and inode, size, modification and change time as right
  // after the open. (A change within a file system's timestamp granularity
  // can keep all of them; the second reading also compares the bytes it
  // reads again with the first reading's fingerprints.)
  bool same_as_opened() const;

  // After a first reading of `bytes_read` bytes: whether the file is still
  // the one opened and the reading saw all of it.
  bool first_reading_complete(std::uint64_t bytes_read) const {
    return same_as_opened() && identity_.size == bytes_read;
  }

 private:
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    struct timespec modified {};
    struct timespec changed {};
    bool operator==(const Identity& other) const {
      return device == other.device && inode == other.inode && size == other.size &&
             modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
             changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
  };
  // What fstat says of the open file now; false when it cannot tell.
  bool identify(Identity& identity) const;

  UniqueFd fd_;
  std::uint64_t size_ = 0;
  bool rereadable_ = false;
  Identity identity_;  // right after the open
};

// The failure of a file that changed between its two readings.
[[noreturn]] void fail_input_changed();

}  // namespace ondravane
