// Making the copy of an input read once, and writing its pieces.
#include "converter/reading/spill.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "converter/output/output_path.h"
#include "support/failure.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

constexpr char kWhat[] = "the second reading's copy of the input";

}  // namespace

Spill::Spill(const std::vector<std::string>& folders, bool unnamed) {
  std::string tried;
  std::string last_failure = describe_unwrap(describe_os_error(ENOENT));
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    tried += (tried.empty() ? "" : " nor in ") + folder;
    try {
      UniqueFd opened = above_standard_streams(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      file_.emplace(opened.get(), folder, "input-copy", O_RDWR, unnamed);
      folder_ = std::move(opened);
    } catch (const Failure& failure) {
      last_failure = failure.what();
      continue;
    }
    // Read and written through its descriptor only: a name, where the file
    // system cannot do without one, goes at once.
    file_->drop_name();
    return;
  }
  fail("cannot make " + std::string(kWhat) + " in " + tried + ": " + last_failure);
}

Spill::~Spill() {
  // The file goes before the folder it was made in.
  file_.reset();
}

void Spill::append(std::span<const iovec> pieces) {
  rest_.assign(pieces.begin(), pieces.end());
  std::size_t first = 0;
  while (first < rest_.size()) {
    const std::size_t count = std::min<std::size_t>(rest_.size() - first, IOV_MAX);
    const ssize_t written = ::writev(file_->fd(), rest_.data() + first, static_cast<int>(count));
    if (written <= 0) {
      if (written < 0 && errno == EINTR) continue;
      fail("cannot write " + std::string(kWhat) + " in " + folder() + ": " +
           describe_unwrap(written < 0 ? describe_os_error(errno) : describe_write_zero()));
    }
    size_ += static_cast<std::uint64_t>(written);
    // Past the pieces written whole; one written in part goes on from where
    // the write stopped.
    std::size_t done = static_cast<std::size_t>(written);
    while (first < rest_.size() && rest_[first].iov_len <= done) done -= rest_[first++].iov_len;
    if (done != 0) {
      rest_[first].iov_base = static_cast<char*>(rest_[first].iov_base) + done;
      rest_[first].iov_len -= done;
    }
  }
}

std::vector<std::string> spill_folders(std::string_view output) {
  const char* temporary = ::getenv("TMPDIR");
  return {folder_of_new_output(output), temporary != nullptr && *temporary != '\0' ? temporary : "/tmp"};
}

}  // namespace ondravane
