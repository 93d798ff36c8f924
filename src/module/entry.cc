// The module's single exported symbol and the module body.
#include <atomic>
#include <string>

#include "module/arguments.h"
#include "module/call_scope.h"
#include "module/functions.h"

namespace ondravane::module {

namespace {

PyModuleDef g_module_definition = {
    PyModuleDef_HEAD_INIT,
    "ondravane_converter",
    "",  // an empty doc string, not an absent one
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyMethodDef g_processor_definition = {
    "processor", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&processor)),
    METH_VARARGS | METH_KEYWORDS, "processor(input, output, min=..., keep=..., seed=...)\n--\n\n"};

PyMethodDef g_version_definition = {"version", &version, METH_NOARGS, "version()\n--\n\n"};

// Once set, never reset: the module state is process-wide, so a second
// initialisation in the same process is refused.
std::atomic<bool> g_initialized{false};

PyRef module_all_list(PyObject* module) {
  PyRef all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_pending_error();
    PyErr_Clear();
    all = PyRef(PyList_New(0));
    if (!all) throw_pending_error();
    if (PyObject_SetAttrString(module, "__all__", all.get()) != 0) throw_pending_error();
    return all;
  }
  if (!PyList_Check(all.get())) throw_cannot_convert(all.get(), "PyList");
  return all;
}

std::string describe_pending_error() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef owned_type(type), owned_value(value), owned_traceback(traceback);
  PyRef text(value != nullptr ? PyObject_Repr(value) : nullptr);
  PyRef bytes(text ? PyUnicode_AsUTF8String(text.get()) : nullptr);
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (!bytes || PyBytes_AsStringAndSize(bytes.get(), &data, &size) != 0) {
    PyErr_Clear();
    return "<unprintable error>";
  }
  return std::string(data, static_cast<std::size_t>(size));
}

void add_function(PyObject* module, PyMethodDef* definition) {
  const char* module_name = PyModule_GetName(module);
  if (module_name == nullptr) throw_pending_error();
  PyRef module_name_text(PyUnicode_FromString(module_name));
  if (!module_name_text) throw_pending_error();
  PyRef function(PyCFunction_NewEx(definition, module, module_name_text.get()));
  if (!function) throw_pending_error();

  PyRef name(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) throw_pending_error();
  to_text(name.get());

  PyRef all = module_all_list(module);
  if (PyList_Append(all.get(), name.get()) != 0) {
    fail("could not append __name__ to __all__: " + describe_pending_error());
  }
  if (PyObject_SetAttr(module, name.get(), function.get()) != 0) throw_pending_error();
}

PyObject* initialize() {
  PyRef module(PyModule_Create2(&g_module_definition, 3));
  if (!module) throw_pending_error();
  if (g_initialized.exchange(true)) {
    module = PyRef();
    throw PythonError::with_message(PyExc_ImportError,
                                    "Zarvo modules may only be initialized once per interpreter process");
  }
  add_function(module.get(), &g_processor_definition);
  add_function(module.get(), &g_version_definition);
  return module.release();
}

}  // namespace

}  // namespace ondravane::module

PyMODINIT_FUNC PyInit_ondravane_converter() {
  return ondravane::module::call_scope([] { return ondravane::module::initialize(); });
}
