// What becomes of whatever the output path names when an output file is
// made there, decided in one place, for both ways an output is written:
// in place as it is written (the Python function), or into a new file
// beside it that replaces it only once complete (the command line).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "converter/output/new_file.h"
#include "support/file_io.h"

namespace ondravane {

enum class OutputCommit {
  // Whatever the path names is removed first and the file created there
  // and written as it goes: a failure leaves what was written.
  kAsWritten,
  // A new file in the output's folder, linked in over the path only when
  // complete: a failure, or a signal the front end handles, leaves what was
  // there before.
  kWhenComplete,
};

// The file an output is written to, open for writing and not inherited by
// child processes. Whatever way it is written, devices, FIFOs and sockets
// (for example /dev/null, a pipe) and the process's own descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N, and links to them) are written
// in place and never removed; a link to a file is replaced by a regular
// file; a dangling link makes the file it names; a new file's permission
// bits are 0666 less the umask.
class OutputTarget {
 public:
  // Fails as the writer always has: a path holding a NUL byte, an entry
  // that cannot be removed (a directory), a folder that does not exist or
  // cannot be written. A new file written beside the output is unnamed
  // until complete where the file system allows, else named and removed on
  // failure; `unnamed` false always names it, for tests of that way.
  OutputTarget(std::string_view path, OutputCommit commit, bool unnamed = true);
  // Without commit(), a file not yet linked in is discarded.
  ~OutputTarget();
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  int fd() const { return new_file_ ? new_file_->fd() : fd_.get(); }

  // After the last byte is written: links a complete file in over the path.
  void commit();

 private:
  UniqueFd fd_{-1};
  // With kWhenComplete and a regular file: the folder, the name it
  // replaces, and the new file written beside it.
  UniqueFd folder_{-1};
  std::string name_;
  std::optional<NewFile> new_file_;
};

// The folder where an output at `path` is made as a regular file, the way
// OutputTarget decides it; empty when it is written in place instead (a
// device, a FIFO, one of the process's own descriptors).
std::string folder_of_new_output(std::string_view path);

}  // namespace ondravane
