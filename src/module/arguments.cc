// Binding processor's arguments to its parameters and converting them, with
// the exact messages of every argument error.
#include "module/arguments.h"

#include <cstring>
#include <string>
#include <vector>

#include "module/call_scope.h"
#include "module/python_error.h"

namespace ondravane::module {

namespace {

[[noreturn]] void throw_type_error(PyRef message) {
  if (!message) throw_pending_error();
  throw PythonError(PyRef::borrow(PyExc_TypeError), std::move(message), PyRef());
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() == 2) {
        list += " and ";
      } else {
        list += (i + 1 == names.size()) ? ", and " : ", ";
      }
    }
    list += '\'';
    list += names[i];
    list += '\'';
  }
  return list;
}

}  // namespace

void bind_arguments(const char* function_name, const char* const* names, std::size_t count,
                    std::size_t required, PyObject* args, PyObject* kwargs, PyObject** slots) {
  const Py_ssize_t given = args == nullptr ? 0 : PyTuple_Size(args);
  if (given < 0) throw_pending_error();
  const std::size_t positional = static_cast<std::size_t>(given);
  for (std::size_t i = 0; i < positional && i < count; ++i) slots[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));

  if (positional > count) {
    const char* verb = positional == 1 ? "was" : "were";
    if (required == count) {
      throw_type_error(PyRef(PyUnicode_FromFormat("%s() takes %zu positional arguments but %zd %s given",
                                                  function_name, count, given, verb)));
    }
    throw_type_error(PyRef(PyUnicode_FromFormat("%s() takes from %zu to %zu positional arguments but %zd %s given",
                                                function_name, required, count, given, verb)));
  }

  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
      if (!PyUnicode_Check(key)) throw_cannot_convert(key, "PyString");
      PyRef encoded(PyUnicode_AsUTF8String(key));
      std::size_t match = count;
      if (!encoded) {
        PyErr_Clear();  // a key that cannot be encoded names no parameter
      } else {
        char* data = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(encoded.get(), &data, &size) != 0) throw_pending_error();
        for (std::size_t i = 0; i < count; ++i) {
          if (std::strlen(names[i]) == static_cast<std::size_t>(size) &&
              std::memcmp(names[i], data, static_cast<std::size_t>(size)) == 0) {
            match = i;
            break;
          }
        }
      }
      if (match == count) {
        throw_type_error(PyRef(
            PyUnicode_FromFormat("%s() got an unexpected keyword argument '%S'", function_name, key)));
      }
      if (slots[match] != nullptr) {
        throw_type_error(PyRef(PyUnicode_FromFormat("%s() got multiple values for argument '%s'",
                                                    function_name, names[match])));
      }
      slots[match] = value;
    }
  }

  if (positional < required) {
    std::vector<const char*> missing;
    for (std::size_t i = positional; i < required; ++i) {
      if (slots[i] == nullptr) missing.push_back(names[i]);
    }
    if (!missing.empty()) {
      const std::string list = quoted_list(missing);
      throw_type_error(PyRef(PyUnicode_FromFormat("%s() missing %zu required positional %s: %s", function_name,
                                                  missing.size(), missing.size() == 1 ? "argument" : "arguments",
                                                  list.c_str())));
    }
  }
}

std::string_view to_text(PyObject* object) {
  if ((PyType_GetFlags(Py_TYPE(object)) & Py_TPFLAGS_UNICODE_SUBCLASS) == 0) {
    throw_cannot_convert(object, "PyString");
  }
  PyObject* bytes = PyUnicode_AsUTF8String(object);
  if (bytes == nullptr) throw_pending_error();
  TemporaryReferences::keep(bytes);
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) != 0) throw_pending_error();
  return std::string_view(data, static_cast<std::size_t>(size));
}

namespace {

template <typename Integer, Integer (*Convert)(PyObject*)>
Integer to_integer(PyObject* object) {
  PyRef index(PyNumber_Index(object));
  if (!index) throw_pending_error();
  const Integer value = Convert(index.get());
  // The all-ones result is also a valid value; only a pending error says it failed.
  if (value == static_cast<Integer>(-1) && PyErr_Occurred() != nullptr) throw_pending_error();
  return value;
}

long long as_long_long(PyObject* object) { return PyLong_AsLongLong(object); }
unsigned long long as_unsigned_long_long(PyObject* object) { return PyLong_AsUnsignedLongLong(object); }

}  // namespace

std::int64_t to_int64(PyObject* object) { return to_integer<long long, as_long_long>(object); }

std::uint64_t to_uint64(PyObject* object) {
  return to_integer<unsigned long long, as_unsigned_long_long>(object);
}

void rethrow_naming_argument(const char* name) {
  try {
    throw;
  } catch (PythonError& error) {
    if (!error.is_exactly(PyExc_TypeError)) throw;
    PyObject* original = error.normalized_value();
    PyRef message(PyUnicode_FromFormat("argument '%s': %S", name, original));
    if (!message) throw_pending_error();
    PyRef renamed(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
    if (!renamed) throw_pending_error();
    // Setting the cause, even to nothing, also suppresses the context.
    PyException_SetCause(renamed.get(), PyException_GetCause(original));
    throw PythonError(PyRef::borrow(PyExc_TypeError), std::move(renamed), PyRef());
  }
}

}  // namespace ondravane::module
