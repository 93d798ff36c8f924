// The sum starts from the first layer itself, not from zero: 0 + (-0) would
// turn a negative zero positive, and the sum of one layer is that layer.
#include "converter/vectors/combine_layers.h"

#include <cstddef>

namespace ondravane {

bool combine_layers(Combine combine, std::span<const std::span<const double>> layers, std::vector<double>& out) {
  if (combine == Combine::kConcat) {
    out.clear();
    for (std::span<const double> layer : layers) out.insert(out.end(), layer.begin(), layer.end());
    return true;
  }
  const std::size_t length = layers.front().size();
  for (std::span<const double> layer : layers) {
    if (layer.size() != length) return false;
  }
  out.assign(layers.front().begin(), layers.front().end());
  // Element by element, each one summed left to right in the order chosen.
  for (std::size_t j = 1; j < layers.size(); ++j) {
    const double* layer = layers[j].data();
    for (std::size_t i = 0; i < length; ++i) out[i] = out[i] + layer[i];
  }
  if (combine == Combine::kMean) {
    const double count = static_cast<double>(layers.size());
    for (double& value : out) value = value / count;
  }
  return true;
}

}  // namespace ondravane
