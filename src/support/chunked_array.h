// An append-only array kept in fixed blocks: growing it never copies what it
// holds and never needs twice the room, so its memory stays at the size of
// its contents (plus one partly filled block), whatever it ends up holding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ondravane {

template <typename T, std::size_t kBlockSize = std::size_t{1} << 16>
class ChunkedArray {
 public:
  void push_back(const T& value) {
    if (size_ % kBlockSize == 0) blocks_.push_back(std::make_unique_for_overwrite<T[]>(kBlockSize));
    blocks_.back()[size_ % kBlockSize] = value;
    ++size_;
  }

  const T& operator[](std::size_t i) const { return blocks_[i / kBlockSize][i % kBlockSize]; }
  T& operator[](std::size_t i) { return blocks_[i / kBlockSize][i % kBlockSize]; }
  std::size_t size() const { return size_; }

 private:
  std::vector<std::unique_ptr<T[]>> blocks_;
  std::size_t size_ = 0;
};

// One bit per entry, in blocks: the filter's decisions.
class ChunkedBits {
 public:
  void push_back(bool bit) {
    if (size_ % 64 == 0) words_.push_back(0);
    if (bit) words_[words_.size() - 1] |= std::uint64_t{1} << (size_ % 64);
    ++size_;
  }
  bool operator[](std::size_t i) const { return (words_[i / 64] >> (i % 64)) & 1; }
  std::size_t size() const { return size_; }

 private:
  ChunkedArray<std::uint64_t> words_;
  std::size_t size_ = 0;
};

}  // namespace ondravane
