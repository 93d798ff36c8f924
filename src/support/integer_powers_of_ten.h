// 10^0 ... 10^19, every power of ten a 64-bit unsigned integer holds: the
// number scan gathers digits with them and the value text counts digits.
// And the table of any other base's powers, built the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ondravane {

// base^0 ... base^(Count - 1), each fitting 64 bits.
template <std::size_t Count>
constexpr std::array<std::uint64_t, Count> integer_powers(std::uint64_t base) {
  std::array<std::uint64_t, Count> powers{};
  std::uint64_t power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= base;
  }
  return powers;
}

inline constexpr std::array<std::uint64_t, 20> kIntegerPowersOfTen = integer_powers<20>(10);

}  // namespace ondravane
