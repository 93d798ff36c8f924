// The loop every chunked reading runs: chunks are filled from the file and
// handed out while the ring and the budget allow, and taken back strictly in
// file order. What a worker left of a chunk (its results reached their cap)
// is worked on by the calling thread before the next chunk is taken.
#pragma once

#include "converter/input/chunk_reader.h"
#include "converter/workers/ordered_workers.h"

namespace ondravane {

// `take(chunk)` takes what the work found so far and returns whether the
// reading goes on; a chunk is done when its `worked` bytes reach its lines'.
// Returns false when a take ended the reading.
template <typename Workers, typename Take>
bool run_chunks_in_order(ChunkReader& reader, Workers& workers, Take&& take) {
  for (;;) {
    while (workers.has_room()) {
      auto& chunk = workers.free_chunk();
      if (!reader.fill(chunk.text)) break;
      chunk.worked = 0;
      workers.submit();
    }
    if (!workers.pending()) return true;
    auto& chunk = workers.oldest();
    for (;;) {
      if (!take(chunk)) return false;
      if (chunk.worked == chunk.text.lines().size()) break;
      workers.work_here(chunk);
    }
    reader.release(chunk.text);
    workers.release_oldest();
  }
}

}  // namespace ondravane
