// Opening an activation file, telling whether it can be read twice, and
// noticing that it changed between its readings.
#include "converter/input/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "support/failure.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// File systems whose files report sizes unrelated to their contents.
constexpr long kProcMagic = 0x9fa0;
constexpr long kSysfsMagic = 0x62656572;

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
  // A regular file of size 0 is either empty (nothing to index) or one of
  // the generated files of other pseudo file systems, which report 0.
  rereadable_ = ::fstat(fd_.get(), &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_size > 0 &&
                has_real_size(fd_.get()) && identify(identity_);
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
