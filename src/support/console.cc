#include "support/console.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "support/failure.h"
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
  while (!line.empty()) {
    ssize_t written = ::write(1, line.data(), line.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      int error_number = errno;
      fail_printing(system_message(error_number) + " (os error " + std::to_string(error_number) + ")");
    }
    if (written == 0) fail_printing("failed to write whole buffer");
    line.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace ondravane
