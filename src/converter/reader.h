// Reading activation files, the first stage of a conversion. Two ways in:
// reading every record into memory, or indexing the file for a second
// reading that goes straight to what is written. Both read and check every
// line alike, with the same bar over bytes, the same "Error parsing line"
// outcome and the same failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "converter/corpus_index.h"
#include "converter/input_file.h"
#include "converter/json_cursor.h"
#include "converter/parallel_shape.h"
#include "converter/records.h"

namespace ondravane {

// The line that ended a reading as malformed: its 1-based number and why.
struct MalformedLine {
  std::uint64_t number = 0;
  Rejection rejection;
  friend bool operator==(const MalformedLine&, const MalformedLine&) = default;
};

struct RecordsRead {
  ActivationList records;  // empty when a line was malformed
  std::optional<MalformedLine> malformed;
};

// Every record, keeping only each feature's first layer.
RecordsRead read_records(const InputFile& file);

struct IndexRead {
  CorpusIndex index;  // empty when a line was malformed
  std::optional<MalformedLine> malformed;
  std::uint64_t bytes = 0;  // bytes read, terminators included
};

// The first of two readings: checks every line in full and keeps only the
// index, with the token numbers when `number_tokens` (for the filter).
// With more than one job, lines are checked on that many worker threads,
// with the same results.
IndexRead index_records(const InputFile& file, bool number_tokens, unsigned jobs = 1,
                        std::size_t chunk_bytes = kDefaultChunkBytes);


}  // namespace ondravane
