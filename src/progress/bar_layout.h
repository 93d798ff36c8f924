// The look of a progress bar: "{wide_bar} {pos}/{len}", done cells "█" and
// remaining cells "░", filling the whole layout width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/float_eval.h"

namespace ondravane {

inline constexpr std::string_view kDoneCell = "\u2588";       // FULL BLOCK
inline constexpr std::string_view kRemainingCell = "\u2591";  // LIGHT SHADE

// One laid-out line. Every character of it takes one terminal column, so its
// display width is known from the layout and never has to be measured.
struct BarLine {
  std::string text;
  std::size_t columns = 0;
};

// Lays out position `pos` of `len` for a terminal `width` columns wide. The
// fill fraction is computed in single precision, which decides where the
// done cells end.
BarLine layout_bar(std::uint64_t pos, std::uint64_t len, std::size_t width);

}  // namespace ondravane
