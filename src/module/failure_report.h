// What Python users see on standard error when a failure ends a call: one
// report line per failure, written unbuffered to file descriptor 2 rather
// than through sys.stderr, so it is there even when Python's streams are
// replaced or never flushed.
#pragma once

#include <source_location>
#include <string_view>

namespace ondravane::module {

// Writes all of `text` to file descriptor 2, ignoring errors.
void write_to_stderr(std::string_view text) noexcept;

// Writes "thread '<unnamed>' panicked at '<message>', <file>:<line>:<column>\n".
// The calling Python thread was not started by the module, so it has no name.
void write_failure_report(std::string_view message, const std::source_location& where) noexcept;

}  // namespace ondravane::module
