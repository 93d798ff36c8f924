// The frame of every entry from the interpreter into the module: runs the
// body, hands Python errors back, turns failures into PanicException and
// releases the call's temporary references.
#pragma once

#include <cstddef>
#include <new>
#include <string>

#include "module/panic_exception.h"
#include "module/python.h"
#include "module/python_error.h"
#include "support/failure.h"

namespace ondravane::module {

// New references a call made and does not hand out (the UTF-8 bytes behind
// converted texts, for instance). They live until the call scope ends, so
// views into them stay valid for the whole call.
class TemporaryReferences {
 public:
  // Takes ownership of `object` until the innermost open call scope ends.
  static void keep(PyObject* object);

  // Marks the current end of the thread's list; releasing a mark drops every
  // reference kept since, in the order they were kept.
  static std::size_t mark();
  static void release_since(std::size_t mark);
};

// Ends the process after a failure that escaped the call scope itself: reports
// the exception being handled, then the escape, and aborts.
[[noreturn]] void abort_uncaught_panic() noexcept;

// Turns whatever the body threw into the interpreter's pending error.
void translate_current_exception();

template <typename Body>
PyObject* call_scope(Body&& body) noexcept {
  const std::size_t mark = TemporaryReferences::mark();
  PyObject* result = nullptr;
  try {
    try {
      result = body();
    } catch (...) {
      translate_current_exception();
    }
    TemporaryReferences::release_since(mark);
  } catch (...) {
    abort_uncaught_panic();
  }
  return result;
}

}  // namespace ondravane::module
