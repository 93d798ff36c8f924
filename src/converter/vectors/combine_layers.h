// Several layers of one occurrence made into one vector, in IEEE binary64
// arithmetic exactly as written: the same bits on every machine.
#pragma once

#include <span>
#include <vector>

#include "converter/vectors/vector_recipe.h"
#include "support/float_eval.h"

namespace ondravane {

// Combines `layers` (at least two, in the order chosen) into `out`. Returns
// false, with `out` unspecified, when a mean or a sum meets layers of
// different lengths. Allocates only when `out` must grow.
bool combine_layers(Combine combine, std::span<const std::span<const double>> layers, std::vector<double>& out);

}  // namespace ondravane
