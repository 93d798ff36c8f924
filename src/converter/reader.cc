// Reading an activation file: one record per line, parsed in file order, with
// the sub-word markers removed from every token.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "converter/line_parser.h"
#include "converter/line_source.h"
#include "converter/reader.h"
#include "converter/records.h"
#include "converter/token_markers.h"
#include "converter/utf8.h"
#include "progress/progress_bar.h"
#include "support/console.h"
#include "support/file_io.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// The size of the file at `path`, looked up by name after the open.
std::uint64_t file_size(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) fail_os_error(errno);
  return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace

ActivationList Activation::from_file(std::string_view path) {
  std::optional<RejectedLine> rejected;
  return read_activation_file(path, rejected);
}

ActivationList read_activation_file(std::string_view path_text, std::optional<RejectedLine>& rejected) {
  const std::string path(path_text);
  const UniqueFd file = open_or_fail(path, O_RDONLY | O_CLOEXEC);
  ProgressBar bar(file_size(path));
  LineSource lines(file.get());
  LineParser parser;
  ActivationList activations;
  std::uint64_t line_number = 0;
  while (std::optional<std::string_view> raw = lines.next_line()) {
    ++line_number;
    const std::string_view line = without_terminator(*raw);
    // A line that is not UTF-8 stops the reading as a failure, before it
    // counts on the bar and before its syntax is judged. The parser checks
    // the UTF-8 of the strings it walks, and an accepted line has nothing
    // else that could break it, so only a rejected line needs the full check.
    std::optional<Activation> activation;
    try {
      activation = parser.parse_unchecked_utf8(line, LayerRetention::kFirstOnly);
    } catch (...) {
      // Running out of memory mid-line: end as a line that was checked
      // first and counted on the bar before parsing would.
      if (!is_valid_utf8(*raw)) fail_unwrap(describe_invalid_utf8());
      bar.inc(line.size() + 1);
      throw;
    }
    if (!activation && !is_valid_utf8(*raw)) fail_unwrap(describe_invalid_utf8());
    bar.inc(line.size() + 1);
    if (!activation) {
      // One bad line discards the whole file; the bar is left unfinished.
      print_line("Error parsing line\n");
      rejected = RejectedLine{line_number, parser.rejection()};
      return {};
    }
    for (Feature& feature : activation->features) remove_token_markers(feature.token);
    activations.push_back(std::move(*activation));
  }
  bar.finish_and_clear();
  return activations;
}

}  // namespace ondravane
