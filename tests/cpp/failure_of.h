// Test helper: what a piece of code fails with.
#pragma once

#include <functional>
#include <string>

#include "support/failure.h"

namespace ondravane::test_support {

// The message of the failure `action` raises, or a marker when it raises none.
inline std::string failure_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.message().value_or("<failure without message>");
  }
  return "<no failure>";
}

}  // namespace ondravane::test_support
