// Which layers of an occurrence a reading goes back to: the conversion's
// own rule (the first layer listed, whatever its index) or layers chosen by
// their index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ondravane {

// Extraction tools number layers from the last (-1, -2, ...), so layers
// chosen by index may be negative, down to this.
inline constexpr std::int64_t kLowestLayerIndex = -4294967295LL;
inline constexpr std::int64_t kHighestLayerIndex = 4294967295LL;

struct LayerChoice {
  // Empty: the first layer listed, with indices from 0 only. Otherwise the
  // layers with these indices, in this order; where an occurrence lists an
  // index twice, the first of them. An index may be chosen more than once.
  std::vector<std::int64_t> indices;

  bool by_index() const { return !indices.empty(); }
  // The layers read of each occurrence.
  std::size_t count() const { return by_index() ? indices.size() : 1; }
  friend bool operator==(const LayerChoice&, const LayerChoice&) = default;
};

// The conversion's own rule, which every reading follows unless told otherwise.
inline const LayerChoice kFirstLayer{};

}  // namespace ondravane
