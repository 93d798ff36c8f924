// Writing the word-vector file, the last stage of a conversion: from an
// indexed input read a second time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "converter/index/corpus_index.h"
#include "converter/input/input_file.h"
#include "converter/output/output_path.h"
#include "converter/output/w2v_writer.h"
#include "converter/reading/second_reading.h"
#include "converter/vectors/vector_options.h"
#include "converter/workers/chunk_size.h"
#include "support/chunked_array.h"

namespace ondravane {

// Writes the word-vector file at `output` from `file` (the input file or the
// copy of an input read once), read again from its start: every occurrence
// of `index`, or with `kept` only those whose bit is set (`total` of them).
// Fails cleanly when the file is not what the first reading indexed. With
// more than one job, lines are formatted on that many worker threads, with
// the same results. With one vector a type, the index must number tokens.
// Returns the identifiers written that hold a blank.
BlankIdentifiers write_indexed(const RereadFrom& file, const CorpusIndex& index, const ChunkedBits* kept,
                               std::uint64_t total, std::string_view output, unsigned jobs = 1,
                               std::size_t chunk_bytes = kDefaultChunkBytes,
                               OutputCommit commit = OutputCommit::kAsWritten, const VectorOptions& vectors = {});

}  // namespace ondravane
