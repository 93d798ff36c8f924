// The vector of an occurrence held in memory (a Feature with the layers the
// reader kept), made by the same rules as the second reading of a file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "converter/records.h"
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

}  // namespace ondravane
