// Reading activation files, the first stage of a conversion. Two ways in:
// reading every record into memory (Activation::from_file), or indexing the
// file for a second reading that goes straight to what is written. Both read
// and check every line alike, with the same bar over bytes, the same "Error
// parsing line" outcome and the same failures.
#pragma once

#include <cstddef>
#include <optional>

#include "converter/index/index_read.h"
#include "converter/input/input_file.h"
#include "converter/line/layer_choice.h"
#include "converter/line/malformed_line.h"
#include "converter/records.h"
#include "converter/workers/chunk_size.h"

namespace ondravane {

// What Activation::from_file yields.
struct RecordsRead {
  ActivationList records;  // empty when a line was malformed
  std::optional<MalformedLine> malformed;
};

// The first of two readings: checks every line in full and keeps only the
// index of the pieces read again of `layers`, with the token numbers when
// `number_tokens` (for the filter). With more than one job, lines are
// checked on that many worker threads, with the same results.
IndexRead index_records(const InputFile& file, bool number_tokens, unsigned jobs = 1,
                        std::size_t chunk_bytes = kDefaultChunkBytes,
                        const LayerChoice& layers = kFirstLayer);

}  // namespace ondravane
