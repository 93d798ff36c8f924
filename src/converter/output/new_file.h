// New files in a folder that no one sees before they are complete, for the
// command's output written beside what it replaces and for the copy of an
// input read once: unnamed where the file system can make such files
// (O_TMPFILE), else named ".<stem>.<pid>.<n>.part" and removed again on a
// failure and, through a front end's handler of terminating signals, on
// those signals.
#pragma once

#include <string>

#include "support/file_io.h"

namespace ondravane {

class NewFile {
 public:
  // Makes a new file in the folder open as `folder` (O_PATH will do), whose
  // path is `folder_path`, with `access` (O_WRONLY or O_RDWR), named after
  // `stem` when it must have a name; `unnamed` false always names it, for
  // tests of that way. Raises the failure of the last attempt.
  NewFile(int folder, std::string folder_path, const std::string& stem, int access, bool unnamed = true);
  // Removes the name the file still has.
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  int fd() const { return fd_.get(); }
  const std::string& folder_path() const { return folder_path_; }

  // Gives the complete file the name `name` in its folder, replacing what
  // is there, while the terminating signals a front end handles wait.
  void link_as(const std::string& name);
  // Removes the file's name at once, if it has one: a file only ever read
  // and written through its descriptor needs none.
  void drop_name();

 private:
  int folder_;
  std::string folder_path_;
  std::string stem_;
  UniqueFd fd_{-1};
  std::string name_;  // while it has one
  int noted_ = -1;    // its entry for the signal handler, while named
};

// For a front end's handler of a terminating signal: removes every new file
// that still has a name (an unnamed one needs nothing). Async-signal-safe.
void remove_unfinished_files() noexcept;

}  // namespace ondravane
