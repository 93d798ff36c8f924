// A Python error held by C++ code while it unwinds back to the interpreter.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "module/python.h"

namespace ondravane::module {

// An error for the interpreter: type, value and traceback, possibly
// unnormalised, as fetched or as made. Thrown as an exception inside a call
// scope, which hands it back to the interpreter.
class PythonError : public std::exception {
 public:
  PythonError(PyRef type, PyRef value, PyRef traceback)
      : type_(std::move(type)), value_(std::move(value)), traceback_(std::move(traceback)) {}

  // A new error of `type` (borrowed) whose value is the text `message`.
  static PythonError with_message(PyObject* type, std::string_view message);

  const char* what() const noexcept override { return "Python error"; }

  PyObject* type() const { return type_.get(); }
  bool is_exactly(PyObject* type) const { return type_.get() == type; }

  // Hands the error to the interpreter (PyErr_Restore); the error is spent.
  void restore();

  // Normalises the error and returns its value (borrowed).
  PyObject* normalized_value();

 private:
  PyRef type_;
  PyRef value_;
  PyRef traceback_;
};

// A PanicException that travelled through Python code back into the module,
// carried on as a failure with the same message. It was reported when it was
// fetched, so the call scope writes no failure report for it.
class ResumedPanic : public std::exception {
 public:
  explicit ResumedPanic(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Takes the interpreter's pending error. A PanicException coming back from
// Python code is not returned: it is reported and resumed as a failure.
// Without a pending error the result is a SystemError.
[[noreturn]] void throw_pending_error();

// For interpreter calls that cannot fail: prints the pending error and raises
// the failure "Python API call failed".
[[noreturn]] void fail_python_api_call();

// The __qualname__ of the object's type, or "<failed to extract type name>".
PyRef type_name_of(PyObject* object);

// TypeError "'<type name>' object cannot be converted to '<target>'".
[[noreturn]] void throw_cannot_convert(PyObject* object, const char* target);

}  // namespace ondravane::module
