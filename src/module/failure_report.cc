// The failure report line on file descriptor 2.
#include "module/failure_report.h"

#include <string>

#include "support/file_io.h"

namespace ondravane::module {

void write_to_stderr(std::string_view text) noexcept { (void)write_all(2, text); }

void write_failure_report(std::string_view message, const std::source_location& where) noexcept {
  try {
    std::string report = "thread '<unnamed>' panicked at '";
    report += message;
    report += "', ";
    report += where.file_name();
    report += ':';
    report += std::to_string(where.line());
    report += ':';
    report += std::to_string(where.column());
    report += '\n';
    write_to_stderr(report);
  } catch (...) {
    // No memory for the line: the exception that follows still names the failure.
  }
}

}  // namespace ondravane::module
