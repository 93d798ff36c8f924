// Failures: the unrecoverable conditions of a call. A failure is a C++
// exception carrying its message and the place that raised it; it unwinds
// the call, releasing what the call holds. How it is reported is up to the
// front end that catches it.
#pragma once

#include <exception>
#include <optional>
#include <source_location>
#include <string>

namespace ondravane {

class Failure : public std::exception {
 public:
  Failure(std::optional<std::string> message, std::source_location where)
      : message_(std::move(message)), where_(where) {}

  // The failure's message, or nothing for a failure raised without one.
  const std::optional<std::string>& message() const { return message_; }
  // The source file, line and column of the code that raised it.
  const std::source_location& where() const { return where_; }
  const char* what() const noexcept override {
    return message_ ? message_->c_str() : "failure without a message";
  }

 private:
  std::optional<std::string> message_;
  std::source_location where_;
};

// Throws a Failure carrying `message` and the caller's source location.
[[noreturn]] void fail(std::string message,
                       std::source_location where = std::source_location::current());

// True while an exception is propagating through the caller's scope, given
// the count of uncaught exceptions taken when that scope was entered.
inline bool unwinding_since(int uncaught_at_entry) noexcept {
  return std::uncaught_exceptions() > uncaught_at_entry;
}

}  // namespace ondravane
