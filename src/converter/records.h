// The in-memory corpus: one Activation per sentence, one Feature per token
// occurrence, one Layer per model layer of that occurrence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ondravane {

struct Layer {
  std::int64_t index = 0;      // layer number, as written in the file
  std::vector<double> values;  // the vector's components, in file order
  friend bool operator==(const Layer&, const Layer&) = default;
};

struct Feature {
  std::string token;          // UTF-8 token text
  std::vector<Layer> layers;  // the occurrence's vectors, in file order
  friend bool operator==(const Feature&, const Feature&) = default;
};

// Which layers a parsed record keeps. Every layer is always checked; the
// conversion itself writes the first one unless layers are chosen by index
// (line/layer_choice.h), so a reading of records may keep only that, or only
// the chosen ones, and save the memory of the rest.
enum class LayerRetention { kAll, kFirstOnly, kChosen };

struct Activation {
  std::uint32_t linex_index = 0;  // sentence number, as written in the file
  std::vector<Feature> features;  // token occurrences, in file order

  friend bool operator==(const Activation&, const Activation&) = default;
};
using ActivationList = std::vector<Activation>;

}  // namespace ondravane
