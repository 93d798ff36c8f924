// What the first reading of a file keeps for the stages after it, instead
// of the records: where each line's occurrences stand, so that the second
// reading can go straight to what it writes. Plain data; its memory grows
// with the number of lines, occurrences and distinct tokens, never with the
// number of values.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "converter/chunked_array.h"

namespace ondravane {

// Where one occurrence stands in its line: byte offsets of its token's
// opening quotation mark and of its first layer's list of values.
struct OccurrencePlace {
  static constexpr std::uint32_t kNoLayer = UINT32_MAX;  // a feature without layers
  std::uint32_t token = 0;
  std::uint32_t values = kNoLayer;
};

// One line as the first reading saw it; the second checks it is the same.
struct IndexedLine {
  std::uint64_t length = 0;        // bytes, terminator included
  std::uint32_t linex_index = 0;   // the sentence number
  std::uint32_t occurrences = 0;   // features in the line
};

// The distinct token texts (markers removed), numbered in order of first
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
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  // Texts live in a deque-like list so that the views the map keys hold stay
  // valid as it grows.
  ChunkedArray<std::string, 4096> texts_;
  std::unordered_map<std::string_view, std::uint32_t, Hash, std::equal_to<>> numbers_;
};

// Every occurrence in file order: where its first layer's values stand, and
// either where its token stands or (with filtering) its token's number, whose
// text the table holds with the markers already removed. 8 bytes an
// occurrence either way.
struct CorpusIndex {
  bool numbered = false;  // tokens are numbered (for the filter)
  ChunkedArray<IndexedLine> lines;
  ChunkedArray<std::uint32_t> values_at;
  ChunkedArray<std::uint32_t> tokens_at;      // without token numbers only
  ChunkedArray<std::uint32_t> token_numbers;  // with filtering only
  TokenNumbers tokens;

  std::uint64_t occurrences() const { return values_at.size(); }
};

}  // namespace ondravane
