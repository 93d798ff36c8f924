#include "converter/pipeline.h"

#include <utility>

#include "converter/filter.h"
#include "converter/records.h"
#include "converter/writer.h"
#include "support/console.h"

namespace ondravane {

void convert(std::string_view input, std::string_view output, const ConversionOptions& options) {
  print_line("Start Reading! (This may take a while)\n");
  ActivationList current = Activation::from_file(input);
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
}

}  // namespace ondravane
