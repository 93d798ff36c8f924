// Descriptions of failed system operations, as the failure messages show them:
//   called `Result::unwrap()` on an `Err` value: Os { code: 2, kind: NotFound, message: "No such file or directory" }
#pragma once

#include <source_location>
#include <string>
#include <string_view>

namespace ondravane {

// The category name of an errno value ("NotFound", "PermissionDenied", ...).
std::string_view error_kind_name(int error_number);

// The system's message text for an errno value.
std::string system_message(int error_number);

// "Os { code: N, kind: K, message: \"...\" }"
std::string describe_os_error(int error_number);

// "Error { kind: K, message: \"...\" }", for errors that carry no number.
std::string describe_error(std::string_view kind, std::string_view message);

// Fixed descriptions named by the conversion's failure messages.
std::string describe_invalid_utf8();     // kind InvalidData, "stream did not contain valid UTF-8"
std::string describe_nul_in_path();      // kind InvalidInput, "file name contained an unexpected NUL byte"
std::string describe_write_zero();       // kind WriteZero, "failed to write whole buffer"

// "called `Result::unwrap()` on an `Err` value: <description>", the text of
// a failure raised by fail_unwrap.
std::string describe_unwrap(std::string_view description);

// Raises the failure "called `Result::unwrap()` on an `Err` value: <description>".
[[noreturn]] void fail_unwrap(std::string_view description,
                              std::source_location where = std::source_location::current());

// The same, for the errno value of a failed system call.
[[noreturn]] void fail_os_error(int error_number,
                                std::source_location where = std::source_location::current());

}  // namespace ondravane
