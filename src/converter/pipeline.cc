// The stages of one conversion in order: two readings of the input, the
// second of the file itself or of the copy the first made of an input read
// once.
#include "converter/pipeline.h"

#include <unistd.h>

#include <optional>
#include <string>
#include <utility>

#include "converter/filter.h"
#include "converter/reader.h"
#include "converter/reading/spill.h"
#include "converter/writer.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/file_io.h"

namespace ondravane {

namespace {

bool output_names_input(const ConversionInput& input, const std::string& output) {
  return input.standard_input ? same_regular_file(STDIN_FILENO, output) : same_regular_file(input.path, output);
}

// The first reading, of a source that may only tell at its end that what it
// gave was wrong (damaged compressed data): a reading that stops early
// reads the rest first, so that such a failure comes before the line's.
IndexRead first_reading(ByteSource& source, bool number_tokens, const ConversionOptions& options, Spill* copy) {
  IndexRead read;
  try {
    read = index_records(source, number_tokens, options.jobs, options.chunk_bytes, copy,
                         options.vectors.recipe.layers);
  } catch (const Failure&) {
    source.verify_rest();
    throw;
  }
  if (read.malformed) source.verify_rest();
  return read;
}

}  // namespace

ConversionOutcome convert(const ConversionInput& input, std::string_view output,
                          const ConversionOptions& options) {
  // The writer removes what the output path names before it writes, so an
  // output path naming the input would destroy the input, even when a bad
  // line leaves nothing to write. Refused before anything is printed or read.
  if (output_names_input(input, std::string(output))) {
    fail("the output path names the input file: " + std::string(output));
  }
  print_line("Start Reading! (This may take a while)\n");
  InputFile file = input.standard_input ? InputFile::standard_input() : InputFile(input.path);
  std::unique_ptr<ByteSource> decoded = input.decode ? input.decode(file) : nullptr;
  ByteSource& source = decoded ? *decoded : file;
  std::optional<Spill> copy;
  if (decoded || !file.can_read_twice()) copy.emplace(spill_folders(output));

  // The filter counts tokens by number, and one vector a type sums by number.
  const bool number_tokens = options.min.has_value() || options.vectors.per_type;
  IndexRead read = first_reading(source, number_tokens, options, copy ? &*copy : nullptr);
  if (!read.malformed && !copy && !file.first_reading_complete(read.bytes)) fail_input_changed();
  const CorpusIndex& index = read.index;
  std::optional<Selection> selection;
  if (options.min) {
    print_line("Start Filtering!\n");
    selection = select_occurrences(index, *options.min, options.keep, options.seed);
  }
  print_line("Start Writing!(This may take a while)\n");
  const std::uint64_t total = selection ? selection->survivors : index.occurrences();
  BlankIdentifiers blanks =
      write_indexed(copy ? copy->reread() : RereadFrom(file), index, selection ? &selection->kept : nullptr, total,
                    output, options.jobs, options.chunk_bytes, options.commit, options.vectors);
  print_line("Finish Writing!\n");
  return {std::move(read.malformed), std::move(blanks)};
}

}  // namespace ondravane
