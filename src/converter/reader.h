// Reading activation files, the first stage of a conversion: every line
// read and checked in file order, with the sub-word marks removed from every
// token, and only an index kept for a second reading that goes straight to
// what is written, with the bar over bytes, the "Error parsing line" outcome
// and the failures of a reading line by line.
#pragma once

#include <cstddef>

#include "converter/index/index_read.h"
#include "converter/input/byte_source.h"
#include "converter/line/layer_choice.h"
#include "converter/reading/spill.h"
#include "converter/workers/chunk_size.h"

namespace ondravane {

// The first of two readings: checks every line of `source` in full and
// keeps only the index of the pieces read again of `layers`, with the token
// numbers when `number_tokens` (for the filter). With `copy`, the pieces the
// second reading reads again go there, and the index finds them there (an
// input read once). With more than one job, lines are checked on that many
// worker threads, with the same results.
IndexRead index_records(ByteSource& source, bool number_tokens, unsigned jobs = 1,
                        std::size_t chunk_bytes = kDefaultChunkBytes, Spill* copy = nullptr,
                        const LayerChoice& layers = kFirstLayer);

}  // namespace ondravane
