// Failures: the unrecoverable conditions of a call. A failure is a C++
// exception carrying its message; it unwinds the call, releasing what the call
// holds, and the module boundary turns it into a Python exception.
#pragma once

#include <exception>
#include <optional>
#include <source_location>
#include <string>

namespace ondravane {

class Failure : public std::exception {
 public:
  explicit Failure(std::optional<std::string> message) : message_(std::move(message)) {}

  // The failure's message, or nothing for a failure raised without one.
  const std::optional<std::string>& message() const { return message_; }
  const char* what() const noexcept override {
    return message_ ? message_->c_str() : "failure without a message";
  }

 private:
  std::optional<std::string> message_;
};

// Writes the failure report line for `message` to standard error (file
// descriptor 2, unbuffered), then throws a Failure carrying it.
[[noreturn]] void fail(std::string message,
                       std::source_location where = std::source_location::current());

// Throws a Failure without writing a report (the report was already written,
// or the failure resumes one that came back through Python code).
[[noreturn]] void fail_silently(std::optional<std::string> message);

// Writes "thread '<unnamed>' panicked at '<message>', <file>:<line>:<column>\n",
// unless reports are switched off.
void write_failure_report(const std::string& message, const std::source_location& where);

// The Python module reports every failure as it is raised; a command-line
// front end that prints messages its own way switches the reports off.
void set_failure_reports_enabled(bool enabled);

// Writes all of `text` to file descriptor 2, ignoring errors.
void write_to_stderr(std::string_view text) noexcept;

// True while an exception is propagating through the caller's scope, given
// the count of uncaught exceptions taken when that scope was entered.
inline bool unwinding_since(int uncaught_at_entry) noexcept {
  return std::uncaught_exceptions() > uncaught_at_entry;
}

}  // namespace ondravane
