// The copy an input read once keeps for its second reading: the pieces of
// each occurrence that the second reading reads again (PiecePlace),
// line after line, in a new file that nothing else sees and that nothing
// leaves behind, so that a stream converts in the memory of a file.
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/input/input_file.h"
#include "converter/output/new_file.h"
#include "support/file_io.h"

namespace ondravane {

class Spill {
 public:
  // Makes the file in the first of `folders` where one can be made (an
  // empty entry is skipped); `unnamed` false names it, for tests of that
  // way, and removes the name at once.
  explicit Spill(const std::vector<std::string>& folders, bool unnamed = true);
  ~Spill();
  Spill(const Spill&) = delete;
  Spill& operator=(const Spill&) = delete;

  // Appends the pieces, bytes that stay where they are until this returns,
  // in as few writes as the system allows.
  void append(std::span<const iovec> pieces);

  // The copy, to be read again at the offsets the first reading gave.
  RereadFrom reread() const { return RereadFrom(file_->fd()); }
  std::uint64_t size() const { return size_; }
  const std::string& folder() const { return file_->folder_path(); }

 private:
  UniqueFd folder_{-1};
  std::optional<NewFile> file_;
  std::uint64_t size_ = 0;
  std::vector<iovec> rest_;  // the pieces of an append still to write
};

// The folders the copy of an input read once is made in, in order: the
// folder the output file is made in (which needs about as much room), and
// the temporary folder (TMPDIR, else /tmp).
std::vector<std::string> spill_folders(std::string_view output);

}  // namespace ondravane
