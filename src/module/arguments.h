// Binding a call's positional and keyword arguments to named parameters, and
// converting argument objects to C++ values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "module/python.h"

namespace ondravane::module {

template <std::size_t N>
struct ParameterList {
  const char* function_name;
  std::array<const char*, N> names;
  std::size_t required;
};

// Fills `slots` (borrowed references, null when not given) or throws the
// binding TypeError.
void bind_arguments(const char* function_name, const char* const* names, std::size_t count,
                     std::size_t required, PyObject* args, PyObject* kwargs, PyObject** slots);

template <std::size_t N>
std::array<PyObject*, N> bind_arguments(const ParameterList<N>& parameters, PyObject* args,
                                        PyObject* kwargs) {
  std::array<PyObject*, N> slots{};
  bind_arguments(parameters.function_name, parameters.names.data(), N, parameters.required, args,
                 kwargs, slots.data());
  return slots;
}

// A str (or subclass) as a view of its UTF-8 bytes, valid until the call
// scope ends.
std::string_view to_text(PyObject* object);
std::int64_t to_int64(PyObject* object);
std::uint64_t to_uint64(PyObject* object);

// None or an empty slot is absent; anything else goes to `convert`.
template <typename Convert>
auto to_optional(PyObject* object, Convert convert) -> std::optional<decltype(convert(object))> {
  if (object == nullptr || object == Py_None) return std::nullopt;
  return convert(object);
}

// Rethrows the error being handled; a TypeError becomes "argument '<name>':
// <message>", keeping its cause.
[[noreturn]] void rethrow_naming_argument(const char* name);

// Runs a conversion for the parameter `name`; a TypeError it raises is
// replaced by "argument '<name>': <message>", other errors pass unchanged.
template <typename Convert>
auto convert_argument(const char* name, Convert convert) -> decltype(convert()) {
  try {
    return convert();
  } catch (...) {
    rethrow_naming_argument(name);
  }
}

}  // namespace ondravane::module
