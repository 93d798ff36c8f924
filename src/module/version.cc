// version(): the package name and version as one text.
#include "module/call_scope.h"
#include "module/functions.h"
#include "support/version.h"

namespace ondravane::module {

PyObject* version(PyObject* /*self*/, PyObject* /*unused*/) {
  return call_scope([] {
    PyObject* text = PyUnicode_FromStringAndSize(kVersionText, sizeof kVersionText - 1);
    if (text == nullptr) fail_python_api_call();
    return text;
  });
}

}  // namespace ondravane::module
