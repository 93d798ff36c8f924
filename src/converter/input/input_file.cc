// Opening an activation file, reading its bytes in order, telling whether it
// can be read twice, and noticing that it changed between its readings.
#include "converter/input/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "support/failure.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// File systems whose files report sizes unrelated to their contents.
constexpr long kProcMagic = 0x9fa0;
constexpr long kSysfsMagic = 0x62656572;

// The default most a pipe's buffer may be made by a user without privilege
// (/proc/sys/fs/pipe-max-size); a smaller limit refuses it, which is fine.
constexpr int kPipeBytes = 1 << 20;

bool has_real_size(int fd) {
  struct statfs system;
  if (::fstatfs(fd, &system) != 0) return false;
  return static_cast<long>(system.f_type) != kProcMagic &&
         static_cast<long>(system.f_type) != kSysfsMagic;
}

}  // namespace

InputFile::InputFile(std::string_view path_text)
    : fd_(open_or_fail(std::string(path_text), O_RDONLY | O_CLOEXEC)) {
  const std::string path(path_text);
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) fail_os_error(errno);
  size_ = static_cast<std::uint64_t>(status.st_size);
  struct stat opened;
  rereadable_ = ::fstat(fd_.get(), &opened) == 0 && judge_rereadable(opened, 0);
}

InputFile InputFile::standard_input() {
  // A descriptor of its own, above the standard streams like every file the
  // conversion opens.
  const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (fd < 0) fail_os_error(errno);
  InputFile file{UniqueFd(fd)};
  struct stat opened;
  if (::fstat(fd, &opened) != 0) fail_os_error(errno);
  file.size_ = static_cast<std::uint64_t>(opened.st_size);
  // Offsets found by reading from elsewhere than the start would not be
  // the file's.
  const off_t start = ::lseek(fd, 0, SEEK_CUR);
  file.rereadable_ = file.judge_rereadable(opened, start);
  return file;
}

bool InputFile::judge_rereadable(const struct stat& opened, off_t start) {
  // A pipe read once is read in fewer, larger reads, and its writer waits
  // less, with the largest buffer an unprivileged process may give it.
  if (S_ISFIFO(opened.st_mode)) ::fcntl(fd_.get(), F_SETPIPE_SZ, kPipeBytes);
  // A regular file of size 0 is either empty (nothing to index) or one of
  // the generated files of other pseudo file systems, which report 0.
  return S_ISREG(opened.st_mode) && opened.st_size > 0 && start == 0 && has_real_size(fd_.get()) &&
         identify(identity_);
}

std::string_view InputFile::peek(std::size_t count) {
  struct stat status;
  if (::fstat(fd_.get(), &status) == 0 && S_ISREG(status.st_mode)) {
    const off_t at = ::lseek(fd_.get(), 0, SEEK_CUR);
    peeked_.resize(count);
    ssize_t got;
    do {
      got = at < 0 ? -1 : ::pread(fd_.get(), peeked_.data(), count, at);
    } while (got < 0 && errno == EINTR);
    peeked_.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    std::string_view seen = peeked_;
    peeked_given_ = peeked_.size();  // read() reads the file from its offset as before
    return seen;
  }
  while (peek_error_ == 0 && peeked_.size() < count) {
    char byte_run[64];
    const ssize_t got = ::read(fd_.get(), byte_run, std::min(count - peeked_.size(), sizeof byte_run));
    if (got > 0) {
      peeked_.append(byte_run, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      peek_error_ = errno;
    }
  }
  peeked_given_ = 0;
  return std::string_view(peeked_).substr(0, count);
}

std::size_t InputFile::read(char* into, std::size_t room) {
  if (peeked_given_ < peeked_.size()) {
    const std::size_t count = std::min(room, peeked_.size() - peeked_given_);
    std::memcpy(into, peeked_.data() + peeked_given_, count);
    peeked_given_ += count;
    return count;
  }
  if (peek_error_ != 0) fail_os_error(std::exchange(peek_error_, 0));
  for (;;) {
    const ssize_t count = ::read(fd_.get(), into, room);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) fail_os_error(errno);
  }
}

bool InputFile::identify(Identity& identity) const {
  struct stat status;
  if (::fstat(fd_.get(), &status) != 0) return false;
  identity = Identity{status.st_dev, status.st_ino, static_cast<std::uint64_t>(status.st_size),
                      status.st_mtim, status.st_ctim};
  return true;
}

bool InputFile::same_as_opened() const {
  Identity now;
  return identify(now) && now == identity_;
}

void fail_input_changed() {
  fail("the input file changed while it was being converted (appended to, truncated or "
       "rewritten); no complete output was written");
}

}  // namespace ondravane
