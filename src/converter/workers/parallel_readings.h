// The readings of a regular file spread over worker threads: lines are
// checked (first reading, and the check of a file) or formatted (second
// reading) in chunks by the workers, and everything that depends on file
// order (line numbers, token numbers, the bar, the output, the report) is
// done by the calling thread as it takes the chunks back in order. The
// results are those of one thread, byte for byte, failures included.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/check/check_report.h"
#include "converter/index/corpus_index.h"
#include "converter/index/index_read.h"
#include "converter/input/input_file.h"
#include "converter/output/w2v_writer.h"
#include "support/chunked_array.h"

namespace ondravane {

// The first reading with `jobs` worker threads (at least 2).
IndexRead index_records_in_parallel(const InputFile& file, bool number_tokens, unsigned jobs,
                                    std::size_t chunk_bytes);

// The second reading after its checks, with `jobs` worker threads: writes
// through `writer`, which is empty so far, `total` survivors (at least one).
void write_indexed_in_parallel(const InputFile& file, const CorpusIndex& index,
                               const ChunkedBits* kept, std::uint64_t total, W2vWriter& writer,
                               unsigned jobs, std::size_t chunk_bytes);

// The check of the file open at `fd` with `jobs` worker threads (at least 2).
CheckReport check_in_parallel(int fd, std::size_t max_problems, unsigned jobs, std::size_t chunk_bytes);

}  // namespace ondravane
