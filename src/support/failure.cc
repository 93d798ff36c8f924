#include "support/failure.h"

#include <atomic>

#include "support/file_io.h"

namespace ondravane {

void write_to_stderr(std::string_view text) noexcept { (void)write_all(2, text); }

namespace {
std::atomic<bool> g_reports_enabled{true};
}  // namespace

void set_failure_reports_enabled(bool enabled) { g_reports_enabled.store(enabled); }

void write_failure_report(const std::string& message, const std::source_location& where) {
  if (!g_reports_enabled.load(std::memory_order_relaxed)) return;
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
}

void fail(std::string message, std::source_location where) {
  write_failure_report(message, where);
  throw Failure(std::move(message));
}

void fail_silently(std::optional<std::string> message) { throw Failure(std::move(message)); }

}  // namespace ondravane
