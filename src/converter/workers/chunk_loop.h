// The loop every chunked reading runs: chunks are filled from the file and
// handed out while the ring and the budget allow, and taken back strictly in
// file order. What a worker left of a chunk (its results reached their cap)
// is worked on by the calling thread before the next chunk is taken.
#pragma once

#include <cstdint>

#include "converter/input/chunk_bytes.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/ordered_workers.h"
#include "converter/workers/work_shift.h"

namespace ondravane {

// Worker side: loads the lines of the chunk's range, if it was given one. A
// line that takes the chunk past a worker's share of the budget is read on
// only once the chunk is the oldest in flight, so such lines are held one at
// a time whatever the number of workers.
inline void load_lines(ChunkBytes& text, const WorkShift& shift) {
  if (!text.load(kBytesInFlightPerWorker) && shift.wait_to_be_oldest()) text.load(SIZE_MAX);
}

// `source` fills the chunks' bytes (a ChunkReader, or ChunkRanges whose
// chunks load their own); `take(chunk)` takes what the work found so far and
// returns whether the reading goes on; a chunk is done when its `worked`
// bytes reach its lines'. Returns false when a take ended the reading.
template <typename Source, typename Workers, typename Take>
bool run_chunks_in_order(Source& reader, Workers& workers, Take&& take) {
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
