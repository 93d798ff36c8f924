// PLACEHOLDER entry point until the module layer lands.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
static PyModuleDef definition = {PyModuleDef_HEAD_INIT, "ondravane_converter", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};
PyMODINIT_FUNC PyInit_ondravane_converter() { return PyModule_Create2(&definition, 3); }
