// What the first of two readings of a file yields.
#pragma once

#include <cstdint>
#include <optional>

#include "converter/index/corpus_index.h"
#include "converter/line/malformed_line.h"

namespace ondravane {

struct IndexRead {
  CorpusIndex index;  // empty when a line was malformed
  std::optional<MalformedLine> malformed;
  std::uint64_t bytes = 0;  // bytes read, terminators included
};

}  // namespace ondravane
