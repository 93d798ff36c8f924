// Descriptors: opening with the conversion's failures, whole writes, and
// telling whether two paths name the same file.
#include "support/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "support/system_error.h"

namespace ondravane {

namespace {

// The most one write() call is handed; the kernel never transfers more at once.
constexpr std::size_t kMaxWriteChunk = 0x7ffff000;

}  // namespace

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd open_or_fail(const std::string& path, int flags, mode_t mode) {
  if (path.find('\0') != std::string::npos) fail_unwrap(describe_nul_in_path());
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);  // opening a FIFO waits for its peer
  return above_standard_streams(fd);
}

UniqueFd above_standard_streams(int fd) {
  if (fd < 0) fail_os_error(errno);
  UniqueFd opened(fd);
  if (fd > STDERR_FILENO) return opened;
  // With a standard stream closed (a daemon, "2>&-"), the new descriptor takes
  // its number, and messages or failure reports meant for that stream would
  // land in the data file. Move it above the standard streams.
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) fail_os_error(errno);
  return UniqueFd(moved);
}

namespace {

bool same_regular_file(const struct stat& first, const std::string& second) {
  // A path with a NUL byte names no file; its open reports that.
  if (second.find('\0') != std::string::npos) return false;
  struct stat second_status;
  if (::stat(second.c_str(), &second_status) != 0) return false;
  return S_ISREG(first.st_mode) && first.st_dev == second_status.st_dev && first.st_ino == second_status.st_ino;
}

}  // namespace

bool same_regular_file(const std::string& first, const std::string& second) {
  struct stat first_status;
  if (first.find('\0') != std::string::npos || ::stat(first.c_str(), &first_status) != 0) return false;
  return same_regular_file(first_status, second);
}

bool same_regular_file(int fd, const std::string& path) {
  struct stat status;
  return ::fstat(fd, &status) == 0 && same_regular_file(status, path);
}

int write_all(int fd, std::string_view bytes) noexcept {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), std::min(bytes.size(), kMaxWriteChunk));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return kWroteNothing;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

}  // namespace ondravane
