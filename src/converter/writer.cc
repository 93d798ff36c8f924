#include "converter/writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <cstdint>
#include <span>
#include <string>

#include "converter/output_file.h"
#include "converter/value_format.h"
#include "progress/progress_bar.h"
#include "support/failure.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// Longest decimal text of a 64-bit unsigned integer.
constexpr std::size_t kMaxIntegerChars = 20;
static_assert(OutputFile::kMinCapacity >= kMaxValueChars, "a value must fit in the buffer");

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

template <typename Out>
void append_integer(Out& out, std::uint64_t number) {
  char* first = out.reserve(kMaxIntegerChars);
  const auto [last, error] = std::to_chars(first, first + kMaxIntegerChars, number);
  (void)error;  // twenty digits hold any 64-bit value
  out.commit(static_cast<std::size_t>(last - first));
}

template <typename Out>
void append_value(Out& out, double value) {
  std::span<char, kMaxValueChars> room(out.reserve(kMaxValueChars), kMaxValueChars);
  out.commit(format_value(value, room));
}

template <typename Out>
void append_line(Out& out, std::string_view token, std::uint32_t sentence, std::uint64_t position,
                 std::span<const double> values) {
  out.append(token);
  out.append(':');
  append_integer(out, sentence);
  out.append(':');
  append_integer(out, position);
  out.append(' ');
  bool first = true;
  for (double value : values) {
    if (!first) out.append(' ');
    first = false;
    append_value(out, value);
  }
  out.append('\n');
}

// The dimension announced in the header: the length of the first layer of
// the first feature of the first record that has any.
std::uint64_t header_dimension(std::span<const Activation> activations) {
  for (const Activation& activation : activations) {
    if (activation.features.empty()) continue;
    const Feature& first = activation.features.front();
    if (first.layers.empty()) fail_missing_layer();
    return first.layers.front().values.size();
  }
  return 0;
}

}  // namespace

void fail_missing_layer() { fail("index out of bounds: the len is 0 but the index is 0"); }

W2vWriter::W2vWriter(std::string_view path) : out_((remove_existing_entry(path), path)) {}

void W2vWriter::header(std::uint64_t total, std::uint64_t dimension) {
  append_integer(out_, total);
  out_.append(' ');
  append_integer(out_, dimension);
  out_.append('\n');
}

void W2vWriter::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                     std::span<const double> values) {
  append_line(out_, token, sentence, position, values);
}

void FormattedLines::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                          std::span<const double> values) {
  append_line(*this, token, sentence, position, values);
}

void FormattedLines::grow(std::size_t size) {
  std::size_t capacity = capacity_ == 0 ? OutputFile::kMinCapacity : capacity_;
  while (capacity - size_ < size) capacity *= 2;
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ != 0) std::memcpy(grown.get(), buffer_.get(), size_);
  buffer_ = std::move(grown);
  capacity_ = capacity;
}

void W2vWriter::fail_missing_layer() {
  out_.flush();
  ondravane::fail_missing_layer();
}

void to_w2v(std::span<const Activation> activations, std::string_view path) {
  W2vWriter out(path);

  std::uint64_t total = 0;
  for (const Activation& activation : activations) total += activation.features.size();
  const std::uint64_t dimension = header_dimension(activations);

  ProgressBar bar(total);
  out.header(total, dimension);
  for (const Activation& activation : activations) {
    std::uint64_t position = 0;
    for (const Feature& feature : activation.features) {
      // Checked before any of the line is buffered: the file must end with
      // the last complete line when this fails.
      if (feature.layers.empty()) out.fail_missing_layer();
      out.line(feature.token, activation.linex_index, position, feature.layers.front().values);
      ++position;
      bar.inc(1);
    }
  }
  bar.finish_and_clear();
  out.flush();
}

}  // namespace ondravane
