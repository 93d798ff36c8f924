// An activation file opened for reading: the descriptor, the size its
// reading bar measures, its bytes read in order, and what it takes to read
// it a second time and know that it is still the same file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "converter/input/byte_source.h"
#include "support/file_io.h"

namespace ondravane {

class InputFile : public ByteSource {
 public:
  // Opens `path` read-only and looks its size up by name, failing as the
  // reader always has (open, then stat of the path).
  explicit InputFile(std::string_view path);
  // The process's standard input (the command line's "-"), its size taken
  // from the descriptor. It is read twice only when it is a regular file
  // read from its start.
  static InputFile standard_input();
  InputFile(InputFile&&) = default;

  int fd() const { return fd_.get(); }
  // The size the path's status gave, which the reading bar measures.
  std::uint64_t size() const { return size_; }

  // Before any read(): the first `count` bytes that read() will give (fewer
  // when the input is shorter), without taking them: a file is read at its
  // offset, anything else keeps what it read for read() to give first. A
  // read that fails here fails in read() instead, where the reading meets
  // it.
  std::string_view peek(std::size_t count);

  // ByteSource: the bytes from where the descriptor stands, and the size
  // as the bar's length.
  std::size_t read(char* into, std::size_t room) override;
  std::uint64_t bar_length() const override { return size_; }
  // A file that can be read twice is read at offsets by workers.
  int ranged_fd() const override { return rereadable_ ? fd_.get() : -1; }
  std::uint64_t ranged_size() const override { return identity_.size; }

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
  explicit InputFile(UniqueFd fd) : fd_(std::move(fd)) {}
  // Whether the open file can be read twice, given the offset the reading
  // starts at; notes its identity when it can.
  bool judge_rereadable(const struct stat& opened, off_t start);
  // What fstat says of the open file now; false when it cannot tell.
  bool identify(Identity& identity) const;

  UniqueFd fd_;
  std::uint64_t size_ = 0;
  bool rereadable_ = false;
  Identity identity_;  // right after the open
  // What peek() took from a descriptor that cannot be read at an offset,
  // and the error of a read it met, for read() to give first.
  std::string peeked_;
  std::size_t peeked_given_ = 0;
  int peek_error_ = 0;
};

// What the second reading reads again, at the offsets the first one found:
// the input file itself, whose changes are watched, or the copy of an input
// read once, which only this process writes.
struct RereadFrom {
  // Not explicit: wherever a file is read again, an input file will do.
  RereadFrom(const InputFile& file) : fd(file.fd()), input(&file) {}
  explicit RereadFrom(int copy) : fd(copy) {}

  // Whether what is read again is still what the first reading read.
  bool unchanged() const { return input == nullptr || input->same_as_opened(); }

  int fd;
  const InputFile* input = nullptr;
};

// The failure of a file that changed between its two readings.
[[noreturn]] void fail_input_changed();

}  // namespace ondravane
