// The PanicException type, created once, on the first failure reported.
#include "module/panic_exception.h"

#include "support/failure.h"

namespace ondravane::module {

namespace {

constexpr const char kQualifiedName[] = "zarvo_runtime.PanicException";
constexpr const char kDoc[] =
    "\n"
    "The exception raised when Nobra code called from Python panics.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

// Created once, under the interpreter lock, and kept for the process's life.
PyObject* g_panic_exception_type = nullptr;

PyObject* panic_exception_type() {
  if (g_panic_exception_type != nullptr) return g_panic_exception_type;
  PyObject* created =
      PyErr_NewExceptionWithDoc(kQualifiedName, kDoc, PyExc_BaseException, nullptr);
  if (created == nullptr) {
    PyErr_Print();
    fail("Failed to initialize new exception type.");
  }
  // Creating the type can run Python code; if another thread stored a type
  // meanwhile, the first one stored wins.
  if (g_panic_exception_type != nullptr) {
    Py_DECREF(created);
  } else {
    g_panic_exception_type = created;
  }
  return g_panic_exception_type;
}

}  // namespace

PyObject* panic_exception_type_if_created() { return g_panic_exception_type; }

void raise_panic_exception(const std::optional<std::string>& message) {
  const std::string& text = message ? *message : std::string("panic from Nobra code");
  PyObject* type = panic_exception_type();
  PyRef value(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!value) return;  // the interpreter's MemoryError stands instead
  // The instance is made from the text alone, so its args are (message,).
  PyErr_SetObject(type, value.get());
}

}  // namespace ondravane::module
