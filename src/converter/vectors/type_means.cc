// Summing the vectors of each type in the order they come, and their means.
#include "converter/vectors/type_means.h"

#include <algorithm>

namespace ondravane {

bool TypeMeans::add(std::uint32_t type, std::span<const double> vector) {
  if (type >= slot_of_.size()) slot_of_.resize(std::size_t{type} + 1, kNone);
  if (slot_of_[type] == kNone) {
    // The first vector is the sum of one: 0 + (-0) would lose the sign.
    auto sums = std::make_unique_for_overwrite<double[]>(vector.size());
    std::copy(vector.begin(), vector.end(), sums.get());
    slot_of_[type] = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back(Slot{type, vector.size(), 1, std::move(sums)});
    return true;
  }
  Slot& slot = slots_[slot_of_[type]];
  if (vector.size() != slot.length) return false;
  double* sums = slot.sums.get();
  for (std::size_t i = 0; i < slot.length; ++i) sums[i] = sums[i] + vector[i];
  ++slot.count;
  return true;
}

void TypeMeans::mean(std::size_t slot, std::vector<double>& out) const {
  const Slot& s = slots_[slot];
  out.resize(s.length);
  const double count = static_cast<double>(s.count);
  for (std::size_t i = 0; i < s.length; ++i) out[i] = s.sums[i] / count;
}

}  // namespace ondravane
