// Fuzzes the change detection of the two readings: the file is indexed, then
// changed by the fuzz data (bytes overwritten, or the file cut or grown)
// before it is read a second time, through the descriptor opened before the
// change or through one opened after it (which, like a file system with
// coarse timestamps, shows no change of identity or times). Whatever the
// change, the outcome must be the conversion of the file as the first
// reading saw it, or the failure saying that the file changed.
//
// Layout of the input: a byte of options (filter or not, workers, the
// descriptor to read through, a cut or growth), a count of edits, the edits
// (two bytes of offset, one of value), then the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "converter/filter.h"
#include "converter/input/input_file.h"
#include "converter/pipeline.h"
#include "converter/reader.h"
#include "converter/writer.h"
#include "memory_files.h"
#include "support/failure.h"

namespace {

constexpr std::string_view kChanged =
    "the input file changed while it was being converted (appended to, truncated or rewritten); "
    "no complete output was written";

[[noreturn]] void report(const char* what, std::string_view file, const std::string& got) {
  std::fprintf(stderr, "change detection broken: %s\ngot: %s\nfile (%zu bytes): %.*s\n", what, got.c_str(),
               file.size(), static_cast<int>(file.size() > 2000 ? 2000 : file.size()), file.data());
  std::abort();
}

// The failure `body` raises, with the stage messages it prints set aside.
template <typename Body>
std::string failure_of(Body&& body) {
  static const fuzzing::MemoryFile messages("messages");
  std::string failure = "<no failure>";
  fuzzing::with_stdout_in(messages, [&] {
    try {
      body();
    } catch (const ondravane::Failure& caught) {
      failure = caught.what();
    }
  });
  return failure;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t edits = data[1] % 8;
  if (size < 2 + 3 * edits) return 0;
  const std::uint8_t* edit = data + 2;
  const std::string_view file(reinterpret_cast<const char*>(data) + 2 + 3 * edits, size - 2 - 3 * edits);
  static const fuzzing::MemoryFile input("input"), output("output");

  ondravane::ConversionOptions options;
  if (flags & 1) {
    options.min = 1 + ((flags >> 5) & 1);
    options.keep = (flags >> 6) - 1;
  }
  options.jobs = 1 + ((flags >> 1) & 1);
  options.chunk_bytes = options.jobs > 1 ? 64 : ondravane::kDefaultChunkBytes;
  const bool reopen = flags & 4;

  // What the file converts to as it is.
  input.assign(file);
  output.clear();
  const std::string expected_failure =
      failure_of([&] { ondravane::convert(input.path(), output.path(), options); });
  const std::string expected_output = output.contents();

  // The same conversion with the change between the readings.
  output.clear();
  std::string got_output;
  const std::string got_failure = failure_of([&] {
    ondravane::InputFile file_before(input.path());
    if (!file_before.can_read_twice()) return;
    const ondravane::IndexRead read =
        ondravane::index_records(file_before, options.min.has_value(), options.jobs, options.chunk_bytes);
    if (read.malformed || !file_before.first_reading_complete(read.bytes)) return;
    std::optional<ondravane::Selection> selection;
    if (options.min) selection = ondravane::select_occurrences(read.index, *options.min, options.keep, options.seed);
    for (std::size_t i = 0; i < edits; ++i, edit += 3) {
      const std::size_t offset = (edit[0] | edit[1] << 8) % (file.size() + 1);
      input.write_at(offset, std::string_view(reinterpret_cast<const char*>(edit + 2), 1));
    }
    if (flags & 8) {
      if (ftruncate(input.fd(), static_cast<off_t>(file.size() / 2)) != 0) std::abort();
    } else if (flags & 16) {
      input.write_at(file.size(), "[9,[]]\n");
    }
    std::optional<ondravane::InputFile> file_after;
    if (reopen) file_after.emplace(input.path());
    const std::uint64_t total = selection ? selection->survivors : read.index.occurrences();
    ondravane::write_indexed(reopen ? *file_after : file_before, read.index,
                             selection ? &selection->kept : nullptr, total, output.path(), options.jobs,
                             options.chunk_bytes);
  });
  got_output = output.contents();
  if (got_failure == expected_failure && got_output == expected_output) return 0;
  if (got_failure == kChanged) return 0;
  // The readings ended before the second (a malformed line, an input that
  // is not read twice): nothing to compare.
  if (got_failure == "<no failure>" && got_output.empty()) return 0;
  report("neither the first version's conversion nor the change's failure", file, got_failure);
}
