// Finding the chosen layers among those a feature kept, and combining them.
#include "converter/vectors/feature_vectors.h"

#include "converter/vectors/combine_layers.h"

namespace ondravane {

FeatureVectors::Made FeatureVectors::make(const Feature& feature, std::span<const double>& vector,
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
