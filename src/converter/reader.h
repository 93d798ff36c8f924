// Reading an activation file, with word of the line that emptied it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/json_cursor.h"
#include "converter/records.h"

namespace ondravane {

// A line that the record grammar refused: its number in the file (the first
// line is 1) and where and why it was refused.
struct RejectedLine {
  std::uint64_t number = 0;
  Rejection rejection;
  friend bool operator==(const RejectedLine&, const RejectedLine&) = default;
};

// Activation::from_file, which also sets `rejected` when a malformed line
// ends the reading with an empty list. Printing and failures are the same.
ActivationList read_activation_file(std::string_view path, std::optional<RejectedLine>& rejected);

}  // namespace ondravane
