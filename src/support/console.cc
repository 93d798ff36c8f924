// The process-wide writer of stage messages on file descriptor 1.
#include "support/console.h"

#include <mutex>
#include <string>

#include "support/failure.h"
#include "support/file_io.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

std::mutex& console_lock() {
  static std::mutex lock;
  return lock;
}

[[noreturn]] void fail_printing(std::string description) {
  fail("failed printing to stdout: " + description);
}

}  // namespace

void print_line(std::string_view line) {
  std::lock_guard<std::mutex> guard(console_lock());
  const int error = write_all(1, line);
  if (error == kWroteNothing) fail_printing("failed to write whole buffer");
  if (error != 0) {
    fail_printing(system_message(error) + " (os error " + std::to_string(error) + ")");
  }
}

}  // namespace ondravane
