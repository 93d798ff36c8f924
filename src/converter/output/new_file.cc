// Making new files in a folder, naming them once complete, and the names a
// signal handler removes.
#include "converter/output/new_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "support/system_error.h"

namespace ondravane {

namespace {

// The names of new files that a signal handler removes. A conversion has at
// most two at once (its output and the copy of its input); a file that finds
// no free entry stays unnamed for no longer than between its creation and
// its removal, or its renaming.
struct UnfinishedName {
  std::atomic<bool> claimed = false;
  std::atomic<bool> named = false;
  char path[PATH_MAX + 1];
};
UnfinishedName unfinished[4];

int note_unfinished(const std::string& path) {
  for (int i = 0; i < static_cast<int>(std::size(unfinished)); ++i) {
    UnfinishedName& entry = unfinished[i];
    if (entry.claimed.exchange(true)) continue;
    const std::size_t length = std::min(path.size(), sizeof entry.path - 1);
    std::memcpy(entry.path, path.data(), length);
    entry.path[length] = '\0';
    entry.named.store(true);
    return i;
  }
  return -1;
}

void forget_unfinished(int& noted) {
  if (noted < 0) return;
  unfinished[noted].named.store(false);
  unfinished[noted].claimed.store(false);
  noted = -1;
}

std::string join_path(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// A name in the folder for the file while it is not complete.
std::string temporary_name(const std::string& stem) {
  static std::atomic<unsigned> counter = 0;
  return "." + stem + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".part";
}

// While a complete file is linked in, the terminating signals a front end
// handles wait, so that no name is left behind half-way.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

}  // namespace

NewFile::NewFile(int folder, std::string folder_path, const std::string& stem, int access, bool unnamed)
    : folder_(folder), folder_path_(std::move(folder_path)), stem_(stem) {
  if (unnamed) {
    const int made = ::openat(folder_, ".", O_TMPFILE | access | O_CLOEXEC, 0666);
    if (made >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
      fd_ = above_standard_streams(made);
      return;
    }
  }
  // A file system without unnamed files: a named one, noted before it
  // exists so that a signal never leaves it behind.
  for (int attempt = 0;; ++attempt) {
    std::string name = temporary_name(stem_);
    noted_ = note_unfinished(join_path(folder_path_, name));
    const int made = ::openat(folder_, name.c_str(), access | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (made >= 0) {
      name_ = std::move(name);
      fd_ = above_standard_streams(made);
      return;
    }
    const int error = errno;
    forget_unfinished(noted_);
    if (error != EEXIST || attempt == 100) fail_os_error(error);
  }
}

NewFile::~NewFile() { drop_name(); }

void NewFile::drop_name() {
  if (name_.empty()) return;
  ::unlinkat(folder_, name_.c_str(), 0);
  name_.clear();
  forget_unfinished(noted_);
}

void NewFile::link_as(const std::string& name) {
  const SignalsHeld held;
  if (name_.empty()) {
    // Linked under a name of its own first: linkat cannot replace a file.
    std::string temporary = temporary_name(stem_);
    noted_ = note_unfinished(join_path(folder_path_, temporary));
    const std::string own = "/proc/self/fd/" + std::to_string(fd_.get());
    if (::linkat(fd_.get(), "", folder_, temporary.c_str(), AT_EMPTY_PATH) != 0 &&
        ::linkat(AT_FDCWD, own.c_str(), folder_, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      const int error = errno;
      forget_unfinished(noted_);
      fail_os_error(error);
    }
    name_ = std::move(temporary);
  }
  if (::renameat(folder_, name_.c_str(), folder_, name.c_str()) != 0) {
    fail_os_error(errno);  // the destructor removes the linked file
  }
  name_.clear();
  forget_unfinished(noted_);
}

void remove_unfinished_files() noexcept {
  for (UnfinishedName& entry : unfinished) {
    if (entry.named.load()) ::unlink(entry.path);
  }
}

}  // namespace ondravane
