// The hash of token texts in the tables that look them up by view, so that
// looking up a known token builds no string.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace ondravane {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

}  // namespace ondravane
