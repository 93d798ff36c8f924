#include "support/file_io.h"

#include <fcntl.h>
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
  if (fd < 0) fail_os_error(errno);
  return UniqueFd(fd);
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
