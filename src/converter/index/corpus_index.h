// What the first reading of a file keeps for the stages after it, instead
// of the records: where each line's occurrences stand, so that the second
// reading can go straight to what it writes. Plain data; its memory grows
// with the number of lines, occurrences and distinct tokens, never with the
// number of values.
#pragma once

#include <cstdint>

#include "support/chunked_array.h"
#include "converter/line/occurrence_place.h"
#include "converter/tokens/token_numbers.h"

namespace ondravane {

// One line as the first reading saw it; the second checks it is the same.
struct IndexedLine {
  // Bytes the second reading reads the line in: the line, terminator
  // included, or for an input read once the pieces its copy holds.
  std::uint64_t length = 0;
  std::uint32_t linex_index = 0;   // the sentence number
  std::uint32_t occurrences = 0;   // features in the line
};

// Every occurrence in file order: where its first layer's values stand, the
// fingerprint of what the second reading reads again, and either where its
// token stands or (with filtering) its token's number, whose text the table
// holds with the marks already removed. 12 bytes an occurrence either way.
struct CorpusIndex {
  bool numbered = false;  // tokens are numbered (for the filter)
  ChunkedArray<IndexedLine> lines;
  ChunkedArray<std::uint32_t> values_at;
  ChunkedArray<std::uint32_t> fingerprints;
  ChunkedArray<std::uint32_t> tokens_at;      // without token numbers only
  ChunkedArray<std::uint32_t> token_numbers;  // with filtering only
  TokenNumbers tokens;

  std::uint64_t occurrences() const { return values_at.size(); }
};

}  // namespace ondravane
