// The check of a file: its lines surveyed in chunks, on worker threads or on
// the calling thread, and taken into the report in file order, so the
// report is the same for every number of threads.
#include "converter/check.h"

#include "converter/check/file_check.h"
#include "converter/check/line_survey.h"
#include "converter/input/chunk_ranges.h"
#include "converter/input/chunk_reader.h"
#include "converter/input/input_file.h"
#include "converter/workers/chunk_loop.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/ordered_workers.h"

namespace ondravane {

CheckReport check_file(std::string_view path, std::size_t max_problems, unsigned jobs,
                       std::size_t chunk_bytes, const VectorOptions& vectors) {
  InputFile file(path);
  return check_source(file, max_problems, jobs, chunk_bytes, vectors);
}

CheckReport check_source(ByteSource& source, std::size_t max_problems, unsigned jobs, std::size_t chunk_bytes,
                         const VectorOptions& vectors) {
  CheckReport report;
  FileCheck check(report, max_problems, vectors);
  const unsigned threads = jobs > 1 ? jobs : 0;
  OrderedWorkers<SurveyChunk, SurveyLines> workers(threads, std::size_t{jobs} * kChunksPerWorker,
                                                   std::size_t{jobs} * kBytesInFlightPerWorker,
                                                   SurveyLines{&vectors.recipe.layers});
  const auto take = [&](const SurveyChunk& chunk) {
    for (std::size_t i = 0; i < chunk.count; ++i) check.take(chunk.lines[i]);
    return true;
  };
  // Workers read a file that can be read at any offset themselves, each its
  // range.
  if (!workers.inline_work() && source.ranged_fd() >= 0) {
    ChunkRanges ranges(source.ranged_fd(), source.ranged_size(), chunk_bytes,
                       std::size_t{jobs} * kSpareBytesPerWorker);
    run_chunks_in_order(ranges, workers, take);
    return report;
  }
  ChunkReader reader(source, chunk_bytes, kBytesInFlightPerWorker);
  run_chunks_in_order(reader, workers, take);
  reader.raise_read_error();
  return report;
}

}  // namespace ondravane
