// Unsigned integers of any size, by schoolbook multiplication: enough to
// check powers of two and ten and the scale tables exactly, independently of
// how the converter computes them.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <vector>

namespace testing_support {

class Natural {
 public:
  explicit Natural(std::uint64_t n = 0) {
    limbs_ = {static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(n >> 32)};
    trim();
  }
  static Natural power(std::uint32_t base, int exponent) {
    Natural result(1);
    for (int i = 0; i < exponent; ++i) result = result * Natural(base);
    return result;
  }
  // high · 2^64 + low.
  static Natural of_words(std::uint64_t high, std::uint64_t low) {
    return Natural(high).shifted(64) + Natural(low);
  }

  friend Natural operator*(const Natural& a, const Natural& b) {
    Natural product;
    product.limbs_.assign(a.limbs_.size() + b.limbs_.size(), 0);
    for (std::size_t i = 0; i < a.limbs_.size(); ++i) {
      std::uint64_t carry = 0;
      for (std::size_t j = 0; j < b.limbs_.size(); ++j) {
        const std::uint64_t t = std::uint64_t{a.limbs_[i]} * b.limbs_[j] + product.limbs_[i + j] + carry;
        product.limbs_[i + j] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
      }
      product.limbs_[i + b.limbs_.size()] = static_cast<std::uint32_t>(carry);
    }
    product.trim();
    return product;
  }
  friend Natural operator+(const Natural& a, const Natural& b) {
    Natural sum;
    sum.limbs_.assign(std::max(a.limbs_.size(), b.limbs_.size()) + 1, 0);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < sum.limbs_.size(); ++i) {
      const std::uint64_t t = carry + (i < a.limbs_.size() ? a.limbs_[i] : 0) + (i < b.limbs_.size() ? b.limbs_[i] : 0);
      sum.limbs_[i] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    sum.trim();
    return sum;
  }
  // this · 2^bits, bits >= 0.
  Natural shifted(int bits) const {
    Natural result;
    result.limbs_.assign(limbs_.size() + static_cast<std::size_t>(bits / 32) + 1, 0);
    const int within = bits % 32;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      const std::uint64_t moved = std::uint64_t{limbs_[i]} << within;
      result.limbs_[i + static_cast<std::size_t>(bits / 32)] |= static_cast<std::uint32_t>(moved);
      result.limbs_[i + static_cast<std::size_t>(bits / 32) + 1] |= static_cast<std::uint32_t>(moved >> 32);
    }
    result.trim();
    return result;
  }

  friend std::strong_ordering operator<=>(const Natural& a, const Natural& b) {
    if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() <=> b.limbs_.size();
    for (std::size_t i = a.limbs_.size(); i-- > 0;) {
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] <=> b.limbs_[i];
    }
    return std::strong_ordering::equal;
  }
  friend bool operator==(const Natural& a, const Natural& b) { return a.limbs_ == b.limbs_; }

 private:
  void trim() {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
  }
  std::vector<std::uint32_t> limbs_;  // lowest first, no zero at the top
};

}  // namespace testing_support
