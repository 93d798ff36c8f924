// Deciding what becomes of whatever the output path names, opening the
// output file there, and linking a file written beside it in over it.
#include "converter/output/output_path.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "support/system_error.h"

namespace ondravane {

namespace {

bool is_special(mode_t mode) {
  return S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

// The folder part and the last part of a path ("." for a bare name).
std::pair<std::string, std::string> split_path(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string join_path(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// Whether `folder` (resolved) lists this process's own descriptors.
bool is_own_descriptor_folder(const std::string& folder) {
  const std::string own = "/proc/" + std::to_string(::getpid());
  if (folder == own + "/fd") return true;
  // /proc/thread-self/fd resolves to a thread's folder of the same table.
  const std::string tasks = own + "/task/";
  return folder.starts_with(tasks) && folder.ends_with("/fd") &&
         folder.find('/', tasks.size()) == folder.size() - 3;
}

// The descriptor of this process that `path` names, directly or through
// links (/dev/stdout, /dev/fd/1, /proc/self/fd/1, a link to one of them),
// or -1. The links are followed one at a time, so that the magic link of
// the descriptor itself, which leads to the file behind it, is never taken.
int own_descriptor(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    auto [folder, name] = split_path(path);
    if (name.empty() || name == "." || name == "..") return -1;
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) return -1;
    folder = resolved;
    if (is_own_descriptor_folder(folder)) {
      if (name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos) return -1;
      return std::stoi(name);
    }
    const std::string full = join_path(folder, name);
    struct stat status;
    if (::lstat(full.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return -1;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(full.c_str(), target, sizeof target - 1);
    if (length <= 0) return -1;
    target[length] = '\0';
    path = target[0] == '/' ? std::string(target) : join_path(folder, target);
  }
  return -1;
}

// The file a dangling link at `path` would create, following the chain of
// links; `path` itself when it is no link.
std::string creation_target(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) return path;
    target[length] = '\0';
    path = target[0] == '/' ? std::string(target) : join_path(split_path(path).first, target);
  }
  return path;
}

// The incomplete output's name while it has one, for a signal handler.
char incomplete_name[PATH_MAX + 1];
std::atomic<bool> incomplete_named = false;

void note_incomplete(const std::string& path) {
  incomplete_named.store(false);
  const std::size_t length = std::min(path.size(), sizeof incomplete_name - 1);
  std::memcpy(incomplete_name, path.data(), length);
  incomplete_name[length] = '\0';
  incomplete_named.store(true);
}

void forget_incomplete() { incomplete_named.store(false); }

// A name in the output's folder for the file before it replaces the output.
std::string temporary_name(const std::string& name) {
  static std::atomic<unsigned> counter = 0;
  return "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".part";
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

OutputTarget::OutputTarget(std::string_view path_text, OutputCommit commit, bool unnamed_files) {
  const std::string path(path_text);
  if (path.find('\0') != std::string::npos) fail_unwrap(describe_nul_in_path());
  const int descriptor = own_descriptor(path);
  if (descriptor >= 0) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) {
      // The descriptor itself, so that what the process writes there in
      // other ways (its messages on standard output) keeps its place.
      fd_ = above_standard_streams(::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
      return;
    }
    fd_ = open_or_fail(path, O_WRONLY | O_CLOEXEC);
    return;
  }
  struct stat status;
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (exists && is_special(status.st_mode)) {
    fd_ = open_or_fail(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return;
  }
  if (commit == OutputCommit::kAsWritten) {
    // A path whose status cannot be read (nothing there, a dangling link)
    // is left alone, so opening a dangling link creates its target.
    if (exists && ::unlink(path.c_str()) != 0) fail_os_error(errno);
    fd_ = open_or_fail(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return;
  }
  // The entry that removal would fail on, a folder (not a link to one, which
  // is replaced), is refused now, not after the work.
  struct stat entry;
  if (::lstat(path.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode)) fail_os_error(EISDIR);
  const auto [folder, name] = split_path(exists ? path : creation_target(path));
  folder_path_ = folder;
  name_ = name;
  folder_ = above_standard_streams(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (unnamed_files) {
    const int unnamed = ::openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
      fd_ = above_standard_streams(unnamed);
      return;
    }
  }
  // A file system without unnamed files: a named one, removed on failure.
  for (int attempt = 0;; ++attempt) {
    std::string temporary = temporary_name(name_);
    note_incomplete(join_path(folder, temporary));
    const int named = ::openat(folder_.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (named >= 0) {
      temporary_ = std::move(temporary);
      fd_ = above_standard_streams(named);
      return;
    }
    forget_incomplete();
    if (errno != EEXIST || attempt == 100) fail_os_error(errno);
  }
}

OutputTarget::~OutputTarget() {
  if (temporary_.empty()) return;
  ::unlinkat(folder_.get(), temporary_.c_str(), 0);
  forget_incomplete();
}

void OutputTarget::commit() {
  if (folder_.get() < 0) return;
  const SignalsHeld held;
  if (temporary_.empty()) {
    // Linked under a name of its own first: linkat cannot replace the output.
    std::string temporary = temporary_name(name_);
    note_incomplete(join_path(folder_path_, temporary));
    const std::string own = "/proc/self/fd/" + std::to_string(fd_.get());
    if (::linkat(fd_.get(), "", folder_.get(), temporary.c_str(), AT_EMPTY_PATH) != 0 &&
        ::linkat(AT_FDCWD, own.c_str(), folder_.get(), temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      const int error = errno;
      forget_incomplete();
      fail_os_error(error);
    }
    temporary_ = std::move(temporary);
  }
  if (::renameat(folder_.get(), temporary_.c_str(), folder_.get(), name_.c_str()) != 0) {
    fail_os_error(errno);  // the destructor removes the linked file
  }
  temporary_.clear();
  forget_incomplete();
}

void remove_incomplete_output() noexcept {
  if (incomplete_named.load()) ::unlink(incomplete_name);
}

}  // namespace ondravane
