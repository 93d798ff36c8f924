// The frame of every entry from Python: temporary references, the failure
// trap, and failures turned into PanicException.
#include "module/call_scope.h"

#include <cstdlib>
#include <source_location>
#include <vector>

#include "module/failure_report.h"

namespace ondravane::module {

namespace {

// Per thread: call scopes nest when Python code that the module calls calls
// back into the module.
thread_local std::vector<PyObject*> t_temporaries;

}  // namespace

void TemporaryReferences::keep(PyObject* object) {
  try {
    t_temporaries.push_back(object);
  } catch (...) {
    Py_DECREF(object);
    throw;
  }
}

std::size_t TemporaryReferences::mark() { return t_temporaries.size(); }

void TemporaryReferences::release_since(std::size_t mark) {
  for (std::size_t i = mark; i < t_temporaries.size(); ++i) Py_DECREF(t_temporaries[i]);
  t_temporaries.resize(mark);
}

void abort_uncaught_panic() noexcept {
  try {
    throw;
  } catch (const Failure& failure) {
    write_failure_report(failure.what(), failure.where());
  } catch (...) {
  }
  write_failure_report("uncaught panic at ffi boundary", std::source_location::current());
  std::abort();
}

void translate_current_exception() {
  try {
    throw;
  } catch (PythonError& error) {
    error.restore();
  } catch (const ResumedPanic& panic) {
    // Its report was the Python traceback printed when it was fetched.
    raise_panic_exception(panic.message());
  } catch (const Failure& failure) {
    write_failure_report(failure.what(), failure.where());
    raise_panic_exception(failure.message());
  } catch (const std::bad_alloc&) {
    // Running out of memory ends the call, not the user's interpreter: the
    // stack has unwound and released what the call held.
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    std::string message = error.what();
    write_failure_report(message, std::source_location::current());
    raise_panic_exception(message);
  }
}

}  // namespace ondravane::module
