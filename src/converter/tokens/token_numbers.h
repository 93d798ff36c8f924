// The distinct token texts of a file, numbered in order of first
// appearance: the filter counts by number and the second reading writes
// each survivor's text from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "support/chunked_array.h"
#include "converter/tokens/text_hash.h"

namespace ondravane {

// The distinct token texts (marks removed), numbered in order of first
// appearance. Only looked up, never iterated in hash order.
class TokenNumbers {
 public:
  std::uint32_t number_of(std::string_view token) {
    auto found = numbers_.find(token);
    if (found != numbers_.end()) return found->second;
    const auto number = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(std::string(token));
    numbers_.emplace(std::string_view(texts_[number]), number);
    return number;
  }
  const std::string& text(std::uint32_t number) const { return texts_[number]; }
  std::size_t size() const { return texts_.size(); }

 private:
  // Texts live in a deque-like list so that the views the map keys hold stay
  // valid as it grows.
  ChunkedArray<std::string, 4096> texts_;
  std::unordered_map<std::string_view, std::uint32_t, TextHash, std::equal_to<>> numbers_;
};

}  // namespace ondravane
