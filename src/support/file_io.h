// The descriptor calls every stage shares: an owning descriptor, opening a
// path with the conversion's failure messages, writing a whole buffer, and
// telling whether two paths name the same file.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <utility>

namespace ondravane {

// Inputs and outputs of several GiB are the normal case: offsets and sizes
// must be 64-bit in 32-bit builds as well (_FILE_OFFSET_BITS=64).
static_assert(sizeof(off_t) == 8, "file offsets must be 64-bit");

// Owns one open descriptor and closes it when its scope ends, also while a
// failure unwinds; an error reported by the close is ignored.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      UniqueFd closing(std::exchange(fd_, std::exchange(other.fd_, -1)));
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens `path` with `flags` (and `mode` when creating), repeating an open
// that a signal interrupted. A path holding a NUL byte names no file and
// fails with its own description; any other error fails with its errno.
// The descriptor is never 0, 1 or 2, even when those are closed, so a data
// file never stands in for a standard stream.
UniqueFd open_or_fail(const std::string& path, int flags, mode_t mode = 0);

// Takes a descriptor just opened (failing with the errno of the call when it
// is negative) and moves it above the standard streams when it took one of
// their numbers.
UniqueFd above_standard_streams(int fd);

// True when both paths, following links, name one and the same regular file
// (same device and inode). False when either cannot be looked up.
bool same_regular_file(const std::string& first, const std::string& second);
// The same for an open descriptor and a path.
bool same_regular_file(int fd, const std::string& path);

// What a write of a whole buffer came to: 0 when every byte was written, the
// errno of the write that failed, or kWroteNothing when a write took no byte.
inline constexpr int kWroteNothing = -1;

// Writes all of `bytes`: interrupted writes are repeated and partial ones
// continued with the rest.
int write_all(int fd, std::string_view bytes) noexcept;

}  // namespace ondravane
