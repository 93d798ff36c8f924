// The line that ended a reading as malformed: its 1-based number and why.
#pragma once

#include <cstdint>

#include "converter/json/rejection.h"

namespace ondravane {

struct MalformedLine {
  std::uint64_t number = 0;
  Rejection rejection;
  friend bool operator==(const MalformedLine&, const MalformedLine&) = default;
};

}  // namespace ondravane
