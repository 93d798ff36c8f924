// The shape of an accepted line, as the check of a file takes it: what the
// check reports and warns about, with no value stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ondravane {

// What the check of a file needs to know of an accepted line, with no value
// stored: the sentence number and, for each occurrence, the token as written
// (before the sub-word marks are removed) and the shape of its layers.
struct OccurrenceShape {
  std::size_t column = 0;  // where the occurrence starts in the line
  std::string token;
  std::size_t layer_count = 0;
  std::size_t first_layer_length = 0;  // 0 also when there is no layer
};

struct LineShape {
  static constexpr std::size_t kMissing = SIZE_MAX;  // a chosen layer the occurrence lacks
  std::uint32_t linex_index = 0;
  std::vector<OccurrenceShape> occurrences;
  // With layers chosen by index: for each occurrence in turn, the length of
  // each chosen layer in the order chosen, or kMissing.
  std::vector<std::size_t> chosen_lengths;
};

}  // namespace ondravane
