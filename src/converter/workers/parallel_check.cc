// The check on worker threads: workers survey the lines of each chunk, and
// the calling thread takes them into the report in file order, so the
// report is the one of a single thread.
#include <atomic>
#include <vector>

#include "converter/check/file_check.h"
#include "converter/check/line_survey.h"
#include "converter/input/chunk_cutter.h"
#include "converter/workers/chunk_size.h"
#include "converter/workers/ordered_workers.h"
#include "converter/workers/parallel_readings.h"

namespace ondravane {

namespace {

struct SurveyChunk : LineBatch {
  LineParser parser;
  std::vector<SurveyedLine> lines;  // kept from chunk to chunk with their buffers
};

void survey_chunk(SurveyChunk& chunk, const std::atomic<bool>& stopping) {
  if (chunk.lines.size() < chunk.lengths.size()) chunk.lines.resize(chunk.lengths.size());
  std::size_t offset = 0;
  for (std::size_t i = 0; i < chunk.lengths.size(); ++i) {
    if (stopping.load(std::memory_order_relaxed)) return;
    survey_line(chunk.parser, std::string_view(chunk.text.data() + offset, chunk.lengths[i]), chunk.lines[i]);
    offset += chunk.lengths[i];
  }
}

}  // namespace

CheckReport check_in_parallel(int fd, std::size_t max_problems, unsigned jobs, std::size_t chunk_bytes) {
  CheckReport report;
  FileCheck check(report, max_problems);
  ChunkCutter cutter(fd, chunk_bytes);
  OrderedWorkers<SurveyChunk, decltype(&survey_chunk)> workers(jobs, std::size_t{jobs} * kChunksPerWorker,
                                                               &survey_chunk);
  for (;;) {
    while (workers.has_room() && cutter.fill(workers.free_chunk())) workers.submit();
    if (!workers.pending()) break;
    const SurveyChunk& chunk = workers.oldest();
    for (std::size_t i = 0; i < chunk.lengths.size(); ++i) check.take(chunk.lines[i]);
    workers.release_oldest();
  }
  cutter.raise_read_error();
  return report;
}

}  // namespace ondravane
