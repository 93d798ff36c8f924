// Python errors held, fetched and handed back to the interpreter.
#include "module/python_error.h"

#include <string>

#include "module/failure_report.h"
#include "module/panic_exception.h"
#include "support/failure.h"

namespace ondravane::module {

PythonError PythonError::with_message(PyObject* type, std::string_view message) {
  PyObject* value = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (value == nullptr) throw_pending_error();
  return PythonError(PyRef::borrow(type), PyRef(value), PyRef());
}

void PythonError::restore() { PyErr_Restore(type_.release(), value_.release(), traceback_.release()); }

PyObject* PythonError::normalized_value() {
  PyObject* type = type_.release();
  PyObject* value = value_.release();
  PyObject* traceback = traceback_.release();
  PyErr_NormalizeException(&type, &value, &traceback);
  type_ = PyRef(type);
  value_ = PyRef(value);
  traceback_ = PyRef(traceback);
  return value_.get();
}

namespace {

// A PanicException that travelled through Python code back into the module:
// show where it came from, then carry on as a failure with the same message.
[[noreturn]] void resume_panic(PyObject* type, PyObject* value, PyObject* traceback) {
  std::string message = "Unwrapped panic from Python code";
  if (value != nullptr && PyUnicode_Check(value)) {
    Py_ssize_t size = 0;
    PyRef bytes(PyUnicode_AsEncodedString(value, "utf-8", "replace"));
    char* data = nullptr;
    if (bytes && PyBytes_AsStringAndSize(bytes.get(), &data, &size) == 0) {
      message = std::string(data, static_cast<size_t>(size));
    } else {
      PyErr_Clear();
    }
  }
  write_to_stderr("--- Zarvo is resuming a panic after fetching a PanicException from Python. ---\n");
  write_to_stderr("Python stack trace below:\n");
  PyErr_Restore(type, value, traceback);
  PyErr_PrintEx(0);
  throw ResumedPanic(std::move(message));
}

}  // namespace

void throw_pending_error() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) {
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    throw PythonError::with_message(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  PyObject* panic_type = panic_exception_type_if_created();
  if (panic_type != nullptr && PyErr_GivenExceptionMatches(type, panic_type)) {
    resume_panic(type, value, traceback);
  }
  throw PythonError(PyRef(type), PyRef(value), PyRef(traceback));
}

void fail_python_api_call() {
  PyErr_Print();
  fail("Python API call failed");
}

PyRef type_name_of(PyObject* object) {
  // The interpreter's own "__qualname__", not a fresh string per call: the
  // type attribute cache keeps a reference to the name it was asked for, in
  // a slot chosen by the name's address, so fresh names would leave up to a
  // cache's worth of copies alive across calls.
  PyRef attribute(PyUnicode_InternFromString("__qualname__"));
  if (!attribute) throw_pending_error();
  PyRef name(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(object)), attribute.get()));
  if (name && PyUnicode_Check(name.get())) return name;
  PyErr_Clear();
  PyRef fallback(PyUnicode_FromString("<failed to extract type name>"));
  if (!fallback) throw_pending_error();
  return fallback;
}

void throw_cannot_convert(PyObject* object, const char* target) {
  PyRef name = type_name_of(object);
  PyRef message(PyUnicode_FromFormat("'%U' object cannot be converted to '%s'", name.get(), target));
  if (!message) throw_pending_error();
  throw PythonError(PyRef::borrow(PyExc_TypeError), std::move(message), PyRef());
}

}  // namespace ondravane::module
