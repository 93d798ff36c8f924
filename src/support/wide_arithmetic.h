// 128-bit unsigned arithmetic in two forms that give the same bits: the
// compiler's 128-bit integer where the target has one, and 32- and 64-bit
// halves otherwise (32-bit x86), in plain C++ that needs no extension. Code
// takes the form as a template argument, so that tests run the portable one
// on 64-bit hosts too.
#pragma once

#include <cstdint>

namespace ondravane {

// A 128-bit unsigned value as two words.
struct Wide {
  std::uint64_t high;
  std::uint64_t low;
};

// A 192-bit one as three.
struct Wider {
  std::uint64_t top;
  Wide rest;
};

// a × 2^n (0 <= n <= 63), modulo 2^128.
constexpr Wide shift_left(Wide a, int n) {
  // Shifting by 1 then by 63 - n stays below 64 also when n is 0.
  return {(a.high << n) | ((a.low >> 1) >> (63 - n)), a.low << n};
}

struct PortableWide {
  // The full product, from four 32 × 32-bit ones.
  static constexpr Wide multiply(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t a_low = a & 0xFFFFFFFFU;
    const std::uint64_t a_high = a >> 32;
    const std::uint64_t b_low = b & 0xFFFFFFFFU;
    const std::uint64_t b_high = b >> 32;
    const std::uint64_t low_low = a_low * b_low;
    const std::uint64_t low_high = a_low * b_high;
    const std::uint64_t high_low = a_high * b_low;
    const std::uint64_t high_high = a_high * b_high;
    // Below 3 · 2^32: the middle column never overflows.
    const std::uint64_t middle = (low_low >> 32) + (low_high & 0xFFFFFFFFU) + (high_low & 0xFFFFFFFFU);
    return {high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32),
            (middle << 32) | (low_low & 0xFFFFFFFFU)};
  }
  // a × b in full.
  static constexpr Wider multiply(std::uint64_t a, Wide b) {
    const Wide by_low = multiply(a, b.low);
    const Wide by_high = multiply(a, b.high);
    const std::uint64_t middle = by_low.high + by_high.low;
    return {by_high.high + (middle < by_low.high ? 1 : 0), {middle, by_low.low}};
  }
  // a + b and a - b, modulo 2^128.
  static constexpr Wide add(Wide a, Wide b) {
    const std::uint64_t low = a.low + b.low;
    return {a.high + b.high + (low < a.low ? 1 : 0), low};
  }
  static constexpr Wide subtract(Wide a, Wide b) {
    return {a.high - b.high - (a.low < b.low ? 1 : 0), a.low - b.low};
  }
};

#if defined(__SIZEOF_INT128__)
struct NativeWide {
  __extension__ typedef unsigned __int128 u128;
  static constexpr Wide split(u128 a) {
    return {static_cast<std::uint64_t>(a >> 64), static_cast<std::uint64_t>(a)};
  }
  static constexpr Wide multiply(std::uint64_t a, std::uint64_t b) { return split(static_cast<u128>(a) * b); }
  // The products' halves summed as words, and sums and differences as
  // PortableWide forms them: joined into 128-bit integers, g++ 12 stored
  // them to the stack and read them back (the shortest digits took 14
  // instructions more a value), and the words give the same bits.
  static constexpr Wider multiply(std::uint64_t a, Wide b) {
    const Wide by_low = multiply(a, b.low);
    const Wide by_high = multiply(a, b.high);
    const std::uint64_t middle = by_low.high + by_high.low;
    return {by_high.high + (middle < by_low.high ? 1 : 0), {middle, by_low.low}};
  }
  static constexpr Wide add(Wide a, Wide b) { return PortableWide::add(a, b); }
  static constexpr Wide subtract(Wide a, Wide b) { return PortableWide::subtract(a, b); }
};
using FastestWide = NativeWide;
#else
using FastestWide = PortableWide;
#endif

}  // namespace ondravane
