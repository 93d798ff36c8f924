// The module's two functions.
#pragma once

#include "module/python.h"

namespace ondravane::module {

PyObject* processor(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* version(PyObject* self, PyObject* unused);

}  // namespace ondravane::module
