// One vector per token type: the mean of the vectors of its occurrences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "support/float_eval.h"

namespace ondravane {

// Types are numbered by the caller (token numbers); they are listed in the
// order their first vector was added. Each type's vectors are summed in
// double precision in the order they are added, starting from the first
// vector itself, and divided by their count once, in mean(). Memory: a
// double for each value of each type's vector, and some 50 bytes a type.
class TypeMeans {
 public:
  // Adds a vector of type `type`. False, adding nothing, when the type's
  // vectors so far have another length.
  bool add(std::uint32_t type, std::span<const double> vector);

  std::size_t types() const { return slots_.size(); }
  // The `slot`-th type listed: its number and its vector's length.
  std::uint32_t type(std::size_t slot) const { return slots_[slot].type; }
  std::size_t length(std::size_t slot) const { return slots_[slot].length; }
  // The length of the vectors of type `type` added so far, or nothing.
  const std::size_t* length_of(std::uint32_t type) const {
    return type < slot_of_.size() && slot_of_[type] != kNone ? &slots_[slot_of_[type]].length : nullptr;
  }
  // The mean of the `slot`-th type, into `out`.
  void mean(std::size_t slot, std::vector<double>& out) const;

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  struct Slot {
    std::uint32_t type;
    std::size_t length;
    std::uint64_t count;
    std::unique_ptr<double[]> sums;
  };
  std::vector<std::uint32_t> slot_of_;  // by type number
  std::vector<Slot> slots_;
};

}  // namespace ondravane
