// 10^0 ... 10^19, every power of ten a 64-bit unsigned integer holds: the
// number scan gathers digits with them and the value text counts digits.
#pragma once

#include <array>
#include <cstdint>

namespace ondravane {

inline constexpr std::array<std::uint64_t, 20> kIntegerPowersOfTen = [] {
  std::array<std::uint64_t, 20> powers{};
  std::uint64_t power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

}  // namespace ondravane
