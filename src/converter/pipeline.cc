// The stages of one conversion in order, in two readings of a regular file
// or in memory for an input that can be read only once.
#include "converter/pipeline.h"

#include <string>
#include <utility>

#include "converter/filter.h"
#include "converter/input/input_file.h"
#include "converter/reader.h"
#include "converter/writer.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/file_io.h"

namespace ondravane {

namespace {

ConversionOutcome convert_in_memory(const InputFile& file, std::string_view output,
                                    const ConversionOptions& options) {
  RecordsRead read = Activation::from_file(file, options.vectors.recipe.layers);
  ActivationList current = std::move(read.records);
  if (options.min) {
    print_line("Start Filtering!\n");
    // The list that was read is released as soon as the filter is done, so
    // the survivors are moved out of it rather than copied.
    ActivationList filtered = filter(std::move(current), *options.min, options.keep, options.seed);
    current = std::move(filtered);
  }
  print_line("Start Writing!(This may take a while)\n");
  BlankIdentifiers blanks = to_w2v(current, output, options.commit, options.vectors);
  print_line("Finish Writing!\n");
  return {std::move(read.malformed), std::move(blanks)};
}

ConversionOutcome convert_in_two_readings(InputFile& file, std::string_view output,
                                          const ConversionOptions& options) {
  // The filter counts tokens by number, and one vector a type sums by number.
  const bool number_tokens = options.min.has_value() || options.vectors.per_type;
  IndexRead read = index_records(file, number_tokens, options.jobs, options.chunk_bytes,
                                 options.vectors.recipe.layers);
  if (!read.malformed && !file.first_reading_complete(read.bytes)) fail_input_changed();
  const CorpusIndex& index = read.index;
  std::optional<Selection> selection;
  if (options.min) {
    print_line("Start Filtering!\n");
    selection = select_occurrences(index, *options.min, options.keep, options.seed);
  }
  print_line("Start Writing!(This may take a while)\n");
  const std::uint64_t total = selection ? selection->survivors : index.occurrences();
  BlankIdentifiers blanks = write_indexed(file, index, selection ? &selection->kept : nullptr, total, output,
                                         options.jobs, options.chunk_bytes, options.commit, options.vectors);
  print_line("Finish Writing!\n");
  return {std::move(read.malformed), std::move(blanks)};
}

}  // namespace

ConversionOutcome convert(std::string_view input, std::string_view output,
                          const ConversionOptions& options) {
  // The writer removes what the output path names before it writes, so an
  // output path naming the input would destroy the input, even when a bad
  // line leaves nothing to write. Refused before anything is printed or read.
  if (same_regular_file(std::string(input), std::string(output))) {
    fail("the output path names the input file: " + std::string(output));
  }
  print_line("Start Reading! (This may take a while)\n");
  InputFile file(input);
  if (file.can_read_twice()) return convert_in_two_readings(file, output, options);
  return convert_in_memory(file, output, options);
}

}  // namespace ondravane
