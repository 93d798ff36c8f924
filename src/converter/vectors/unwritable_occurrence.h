// The failures of an occurrence whose vector cannot be written, raised when
// the writing reaches it (in file order), each naming the occurrence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "converter/vectors/vector_recipe.h"
#include "converter/vectors/written_occurrence.h"

namespace ondravane {


// A layer chosen by index that the occurrence does not list.
[[noreturn]] void fail_chosen_layer_missing(const WrittenOccurrence& at, std::int64_t index);
// Layers whose mean or sum cannot be taken: their lengths differ.
[[noreturn]] void fail_layer_lengths_differ(const WrittenOccurrence& at, const VectorRecipe& recipe,
                                            std::span<const std::span<const double>> layers);
// A vector whose length is not the header's, in the binary format.
[[noreturn]] void fail_binary_length(const WrittenOccurrence& at, std::size_t length, std::size_t header);
// A vector whose length is not that of its token's first, for one vector a token.
[[noreturn]] void fail_type_length(const WrittenOccurrence& at, std::size_t length, std::size_t first);

}  // namespace ondravane
