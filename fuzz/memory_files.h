// Files in memory for fuzz targets that run whole conversions in-process:
// each is a memfd reached by the path /proc/self/fd/N, which the converter
// opens as a regular file (an input read twice) or writes through in place
// (an output), so no run touches the disk or leaves anything behind.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzing {

class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  int fd() const { return fd_; }

  // Empties the file and puts its offset back at the start.
  void clear() const {
    if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) std::abort();
  }
  void assign(std::string_view bytes) const {
    clear();
    write_at(0, bytes);
  }
  void write_at(std::size_t offset, std::string_view bytes) const {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
  }
  std::string contents() const {
    std::string bytes;
    char block[65536];
    for (off_t at = 0;;) {
      const ssize_t n = pread(fd_, block, sizeof block, at);
      if (n < 0) std::abort();
      if (n == 0) return bytes;
      bytes.append(block, static_cast<std::size_t>(n));
      at += n;
    }
  }

 private:
  int fd_;
};

// Runs `body` with file descriptor 1 sent into `capture` (cleared first),
// so that the conversion's stage messages can be compared between runs.
template <typename Body>
void with_stdout_in(const MemoryFile& capture, Body&& body) {
  capture.clear();
  const int saved = dup(1);
  if (saved < 0 || dup2(capture.fd(), 1) < 0) std::abort();
  body();
  if (dup2(saved, 1) < 0) std::abort();
  close(saved);
}

}  // namespace fuzzing
