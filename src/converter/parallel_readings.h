// The two readings of a regular file spread over worker threads: lines are
// checked (first reading) or formatted (second reading) in chunks by the
// workers, and everything that depends on file order (line numbers, token
// numbers, the bar, the output) is done by the calling thread as it takes
// the chunks back in order. The results are those of one thread, byte for
// byte, failures included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "converter/chunked_array.h"
#include "converter/corpus_index.h"
#include "converter/input_file.h"
#include "converter/parallel_shape.h"
#include "converter/reader.h"

namespace ondravane {

// index_records with `jobs` worker threads (at least 2).
IndexRead index_records_in_parallel(const InputFile& file, bool number_tokens, unsigned jobs,
                                    std::size_t chunk_bytes);

// The body of write_indexed after its checks, with `jobs` worker threads:
// writes through `writer`, which is empty so far, `total` survivors (at least one).
class W2vWriter;
void write_indexed_in_parallel(const InputFile& file, const CorpusIndex& index,
                               const ChunkedBits* kept, std::uint64_t total, W2vWriter& writer,
                               unsigned jobs, std::size_t chunk_bytes);

}  // namespace ondravane
