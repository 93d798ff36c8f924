// Why a line was rejected, as the check and the command line report it.
#pragma once

#include <cstddef>
#include <string>

namespace ondravane {

// The byte offset from the start of the line (0 for the first byte) where
// the text stops being acceptable, and a reason a person understands.
struct Rejection {
  std::size_t column = 0;
  std::string reason;
  friend bool operator==(const Rejection&, const Rejection&) = default;
};

}  // namespace ondravane
