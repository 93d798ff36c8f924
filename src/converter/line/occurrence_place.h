// Where one occurrence stands in its line, as the first reading of a file
// finds it and the second goes back to it.
#pragma once

#include <cstdint>

namespace ondravane {

// Byte offsets and lengths of the occurrence's token (from its opening
// quotation mark to its closing one) and of its first layer's list of
// values (brackets included), and the fingerprint of the bytes the second
// reading reads there again (support/fingerprint.h): the list of values,
// and the token when its text is not kept.
struct OccurrencePlace {
  static constexpr std::uint32_t kNoLayer = UINT32_MAX;  // a feature without layers
  std::uint32_t token = 0;
  std::uint32_t token_length = 0;
  std::uint32_t values = kNoLayer;
  std::uint32_t values_length = 0;
  std::uint32_t fingerprint = 0;
};

}  // namespace ondravane
