#include "converter/check.h"

#include <fcntl.h>

#include <optional>
#include <string>

#include "converter/check/file_check.h"
#include "converter/input/line_source.h"
#include "converter/workers/parallel_readings.h"
#include "support/file_io.h"

namespace ondravane {

CheckReport check_file(std::string_view path, std::size_t max_problems, unsigned jobs,
                       std::size_t chunk_bytes) {
  const UniqueFd file = open_or_fail(std::string(path), O_RDONLY | O_CLOEXEC);
  if (jobs > 1) return check_in_parallel(file.get(), max_problems, jobs, chunk_bytes);
  LineSource lines(file.get());
  CheckReport report;
  FileCheck check(report, max_problems);
  while (std::optional<std::string_view> raw = lines.next_line()) check.line(*raw);
  return report;
}

}  // namespace ondravane
