// Deciding what becomes of whatever the output path names, and opening the
// output file there.
#include "converter/output/output_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/system_error.h"

namespace ondravane {

namespace {

// Makes room for the new file by removing whatever the path names, following
// links to see what that is. Special files (devices, FIFOs, sockets) stay:
// writing to "/dev/null" or to a pipe must reach that file, not replace it
// with a regular one. A path whose status cannot be read (nothing there, a
// dangling link) is left alone, so opening a dangling link creates its target.
void remove_existing_entry(std::string_view path) {
  // A path with a NUL byte names nothing; the open reports it.
  if (path.find('\0') != std::string_view::npos) return;
  const std::string terminated(path);
  struct stat status;
  if (::stat(terminated.c_str(), &status) != 0) return;
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) || S_ISFIFO(status.st_mode) ||
      S_ISSOCK(status.st_mode)) {
    return;
  }
  if (::unlink(terminated.c_str()) != 0) fail_os_error(errno);
}

}  // namespace

UniqueFd open_output_path(std::string_view path) {
  remove_existing_entry(path);
  return open_or_fail(std::string(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

}  // namespace ondravane
