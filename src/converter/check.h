// The check of an activation file: every line walked by the conversion's own
// rules, reported (check/check_report.h) without writing anything or keeping
// any value: memory is one line's buffers plus small tables, and a bitmap of
// the sentence numbers seen (one bit per number up to the largest, in pages
// allocated as numbers appear).
#pragma once

#include <cstddef>
#include <string_view>

#include "converter/check/check_report.h"
#include "converter/input/byte_source.h"
#include "converter/workers/chunk_size.h"
#include "converter/vectors/vector_options.h"

namespace ondravane {

// Checks the file at `path` for the conversion that writes `vectors`,
// keeping at most `max_problems` problems in the report (all are counted).
// A file that cannot be opened or read raises the conversion's failure for
// it. With more than one job, lines are surveyed on that many worker
// threads, with the same report.
CheckReport check_file(std::string_view path, std::size_t max_problems, unsigned jobs = 1,
                       std::size_t chunk_bytes = kDefaultChunkBytes, const VectorOptions& vectors = {});
// The same check of the bytes of `source` (standard input, decoded text).
CheckReport check_source(ByteSource& source, std::size_t max_problems, unsigned jobs = 1,
                         std::size_t chunk_bytes = kDefaultChunkBytes, const VectorOptions& vectors = {});

}  // namespace ondravane
