// The second reading of an indexed file: each surviving occurrence's first
// layer is converted and written as it is met.
#pragma once

#include <cstdint>
#include <string_view>

#include "converter/chunked_array.h"
#include "converter/corpus_index.h"
#include "converter/input_file.h"
#include "converter/parallel_shape.h"

namespace ondravane {

// Writes the word-vector file at `output` from `file`, read again from its
// start: every occurrence of `index`, or with `kept` only those whose bit is
// set (`total` of them). Fails cleanly when the file is not what the first
// reading indexed. With more than one job, lines are formatted on that many
// worker threads, with the same results.
void write_indexed(const InputFile& file, const CorpusIndex& index, const ChunkedBits* kept,
                   std::uint64_t total, std::string_view output, unsigned jobs = 1,
                   std::size_t chunk_bytes = kDefaultChunkBytes);

}  // namespace ondravane
