// PanicException: how a failure inside the module reaches Python. It derives
// from BaseException, so `except Exception` handlers do not swallow it.
#pragma once

#include <optional>
#include <string>

#include "module/python.h"

namespace ondravane::module {

// The type, or null before the first failure was reported.
PyObject* panic_exception_type_if_created();

// Sets PanicException(message) as the interpreter's error, creating the type
// on first use. A failure without a message gets "panic from Nobra code".
void raise_panic_exception(const std::optional<std::string>& message);

}  // namespace ondravane::module
