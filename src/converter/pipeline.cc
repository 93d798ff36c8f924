#include "converter/pipeline.h"

#include <string>
#include <utility>

#include "converter/filter.h"
#include "converter/reader.h"
#include "converter/records.h"
#include "converter/writer.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/file_io.h"

namespace ondravane {

ConversionOutcome convert(std::string_view input, std::string_view output, const ConversionOptions& options) {
  // The writer removes what the output path names before it writes, so an
  // output path naming the input would destroy the input, even when a bad
  // line leaves nothing to write. Refused before anything is printed or read.
  if (same_regular_file(std::string(input), std::string(output))) {
    fail("the output path names the input file: " + std::string(output));
  }
  print_line("Start Reading! (This may take a while)\n");
  ConversionOutcome outcome;
  ActivationList current = read_activation_file(input, outcome.rejected);
  if (options.min) {
    print_line("Start Filtering!\n");
    // The list that was read is released as soon as the filter is done, so
    // the survivors are moved out of it rather than copied.
    ActivationList filtered = filter(std::move(current), *options.min, options.keep, options.seed);
    current = std::move(filtered);
  }
  print_line("Start Writing!(This may take a while)\n");
  to_w2v(current, output);
  print_line("Finish Writing!\n");
  return outcome;
}

}  // namespace ondravane
