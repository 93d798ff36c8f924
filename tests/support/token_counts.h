// The in-memory filter's count table (in_memory_conversion.h): how often
// each exact token text occurs. Keys are
// compared byte for byte and looked up by view, so counting a token that is
// already known builds no string. The table is only ever looked up, never
// iterated, so its order cannot reach the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "converter/tokens/text_hash.h"

namespace ondravane {

class TokenCounts {
 public:
  void add(std::string_view token) {
    auto found = counts_.find(token);
    if (found == counts_.end()) {
      counts_.emplace(std::string(token), 1);
    } else {
      ++found->second;
    }
  }

  // 0 for a token that was never added.
  std::int64_t count(std::string_view token) const {
    auto found = counts_.find(token);
    return found == counts_.end() ? 0 : found->second;
  }

 private:
  std::unordered_map<std::string, std::int64_t, TextHash, std::equal_to<>> counts_;
};

}  // namespace ondravane
