// Deciding what becomes of whatever the output path names, opening the
// output file there or beside it (new_file.h), and linking it in over it.
#include "converter/output/output_path.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  name_ = name;
  folder_ = above_standard_streams(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  new_file_.emplace(folder_.get(), folder, name_, O_WRONLY, unnamed_files);
}

OutputTarget::~OutputTarget() = default;

void OutputTarget::commit() {
  if (new_file_) new_file_->link_as(name_);
}

std::string folder_of_new_output(std::string_view path_text) {
  const std::string path(path_text);
  if (path.find('\0') != std::string::npos || own_descriptor(path) >= 0) return "";
  struct stat status;
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (exists && is_special(status.st_mode)) return "";
  return split_path(exists ? path : creation_target(path)).first;
}

}  // namespace ondravane
