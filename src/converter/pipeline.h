// One whole conversion: read, optionally filter, write, with the stage
// messages on standard output.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/reader.h"

namespace ondravane {

struct ConversionOptions {
  std::optional<std::int64_t> min;  // absent: no filtering at all
  std::int64_t keep = -1;           // negative: no thinning
  std::uint64_t seed = 0;
};

// How a conversion that did not fail ended: `rejected` names the malformed
// line that left nothing to write, if there was one.
struct ConversionOutcome {
  std::optional<RejectedLine> rejected;
};

ConversionOutcome convert(std::string_view input, std::string_view output, const ConversionOptions& options);

}  // namespace ondravane
