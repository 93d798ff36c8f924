// The vector of an occurrence held in memory (a Feature with the layers the
// reader kept), made by the same rules as the second reading of a file: for
// the conversion in memory the two readings are compared with.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "converter/records.h"
#include "converter/vectors/combine_layers.h"
#include "converter/vectors/vector_recipe.h"

namespace ondravane {

class FeatureVectors {
 public:
  explicit FeatureVectors(const VectorRecipe& recipe) : recipe_(recipe) {}

  enum class Made { kMade, kMissingLayer, kLengthsDiffer };
  // The vector of `feature` into `vector` (valid until the next call); for
  // kMissingLayer, `missing` is the first index chosen that it lacks, and
  // for kLengthsDiffer layers() are its layers in the order chosen.
  Made make(const Feature& feature, std::span<const double>& vector, std::int64_t& missing);
  std::span<const std::span<const double>> layers() const { return layers_; }

 private:
  const VectorRecipe& recipe_;
  std::vector<std::span<const double>> layers_;
  std::vector<double> combined_;
};

inline FeatureVectors::Made FeatureVectors::make(const Feature& feature, std::span<const double>& vector,
                                          std::int64_t& missing) {
  if (!recipe_.layers.by_index()) {
    if (feature.layers.empty()) return Made::kMissingLayer;
    vector = feature.layers.front().values;
    return Made::kMade;
  }
  layers_.clear();
  for (std::int64_t index : recipe_.layers.indices) {
    // The reader kept the first layer of each chosen index only.
    const Layer* found = nullptr;
    for (const Layer& layer : feature.layers) {
      if (layer.index == index) {
        found = &layer;
        break;
      }
    }
    if (found == nullptr) {
      missing = index;
      return Made::kMissingLayer;
    }
    layers_.push_back(found->values);
  }
  if (!recipe_.combines()) {
    vector = layers_.front();
    return Made::kMade;
  }
  if (!combine_layers(recipe_.combine, layers_, combined_)) return Made::kLengthsDiffer;
  vector = combined_;
  return Made::kMade;
}

}  // namespace ondravane
