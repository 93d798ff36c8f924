// Everything that says what a conversion writes of each occurrence: the
// vector's recipe, one entry an occurrence or a type, and the format.
#pragma once

#include "converter/output/vector_format.h"
#include "converter/vectors/vector_recipe.h"

namespace ondravane {

// The default writes every occurrence's first layer as text.
struct VectorOptions {
  VectorRecipe recipe;
  bool per_type = false;  // one entry a token: the mean of its occurrences' vectors
  VectorFormat format = VectorFormat::kText;
  friend bool operator==(const VectorOptions&, const VectorOptions&) = default;
};

}  // namespace ondravane
