// Which sentence numbers a file has used, to warn about repeated ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ondravane {

// Which sentence numbers were seen: one bit per number, in pages of 2^16
// numbers allocated when a number of their range first appears, so the
// usual numbering from 0 takes a bit per sentence.
class SeenNumbers {
 public:
  // Marks `number` and tells whether it was marked already.
  bool mark(std::uint32_t number) {
    const std::uint32_t page = number >> kPageBits;
    if (page >= pages_.size()) pages_.resize(page + 1);
    auto& bits = pages_[page];
    if (!bits) bits = std::make_unique<std::uint64_t[]>(kWordsPerPage);  // zeroed
    const std::uint32_t bit = number & ((1u << kPageBits) - 1);
    std::uint64_t& word = bits[bit / 64];
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    const bool seen = (word & mask) != 0;
    word |= mask;
    return seen;
  }

 private:
  static constexpr unsigned kPageBits = 16;
  static constexpr std::size_t kWordsPerPage = (std::size_t{1} << kPageBits) / 64;
  std::vector<std::unique_ptr<std::uint64_t[]>> pages_;
};

}  // namespace ondravane
