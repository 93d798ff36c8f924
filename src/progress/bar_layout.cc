// The one line of a bar: cells and the position over the length.
#include "progress/bar_layout.h"

#include <algorithm>

namespace ondravane {

BarLine layout_bar(std::uint64_t pos, std::uint64_t len, std::size_t width) {
  std::string suffix = " " + std::to_string(pos) + "/" + std::to_string(len);
  std::size_t cells = suffix.size() < width ? width - suffix.size() : 0;

  float fraction = 1.0f;
  if (len != 0) {
    fraction = pos == 0 ? 0.0f
                        : std::min(static_cast<float>(pos) / static_cast<float>(len), 1.0f);
  }
  float fill = static_cast<float>(cells) * fraction;
  // fill never exceeds cells, since fraction <= 1 and cells is exact as a float.
  std::size_t done = static_cast<std::size_t>(fill);

  BarLine line;
  line.text.reserve(cells * kDoneCell.size() + suffix.size());
  for (std::size_t i = 0; i < done; ++i) line.text += kDoneCell;
  // The cell after the done ones would be the "current" cell; with only two
  // cell characters in this style it looks like a remaining cell.
  for (std::size_t i = done; i < cells; ++i) line.text += kRemainingCell;
  line.text += suffix;
  line.columns = cells + suffix.size();
  return line;
}

}  // namespace ondravane
