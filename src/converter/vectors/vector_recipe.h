// What the vector written for an occurrence is made of: the layers read
// (line/layer_choice.h) and how several of them become one vector.
#pragma once

#include "converter/line/layer_choice.h"

namespace ondravane {

enum class Combine {
  kMean,    // the sum below, divided by the number of layers
  kSum,     // element by element, in double precision, left to right in the order chosen
  kConcat,  // the layers' values one after another, in the order chosen
};

struct VectorRecipe {
  LayerChoice layers;
  Combine combine = Combine::kMean;
  // One layer: its values as they are, whatever the combination.
  bool combines() const { return layers.count() > 1; }
  friend bool operator==(const VectorRecipe&, const VectorRecipe&) = default;
};

inline const VectorRecipe kFirstLayerRecipe{};

// The option's name of each combination, for messages.
inline const char* combine_name(Combine combine) {
  switch (combine) {
    case Combine::kMean: return "mean";
    case Combine::kSum: return "sum";
    case Combine::kConcat: return "concat";
  }
  return "mean";
}

}  // namespace ondravane
