// The messages of occurrences that cannot be written.
#include "converter/vectors/unwritable_occurrence.h"

#include <string>
#include <utility>

#include "support/failure.h"

namespace ondravane {

namespace {

[[noreturn]] void fail_at(const WrittenOccurrence& at, const std::string& what) {
  std::string message = "line ";
  message += std::to_string(at.line);
  message += ": the occurrence '";
  message += at.token;
  message += "' (sentence ";
  message += std::to_string(at.sentence);
  message += ", position ";
  message += std::to_string(at.position);
  message += ") ";
  message += what;
  fail(std::move(message));
}

}  // namespace

void fail_chosen_layer_missing(const WrittenOccurrence& at, std::int64_t index) {
  fail_at(at, "has no layer with index " + std::to_string(index));
}

void fail_layer_lengths_differ(const WrittenOccurrence& at, const VectorRecipe& recipe,
                               std::span<const std::span<const double>> layers) {
  std::string what = "has layers of different lengths, which cannot be ";
  what += recipe.combine == Combine::kSum ? "summed: " : "averaged: ";
  for (std::size_t slot = 0; slot < layers.size(); ++slot) {
    what += slot == 0 ? "index " : ", index ";
    what += std::to_string(recipe.layers.indices[slot]);
    what += " has ";
    what += std::to_string(layers[slot].size());
  }
  what += " values";
  fail_at(at, what);
}

void fail_binary_length(const WrittenOccurrence& at, std::size_t length, std::size_t header) {
  fail_at(at, "has " + std::to_string(length) + " values where the header says " + std::to_string(header) +
                  "; the binary format holds vectors of one length");
}

void fail_type_length(const WrittenOccurrence& at, std::size_t length, std::size_t first) {
  fail_at(at, "has " + std::to_string(length) + " values where its token's first occurrence has " +
                  std::to_string(first) + "; one vector a token is the mean of vectors of one length");
}

}  // namespace ondravane
