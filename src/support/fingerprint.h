// A fast 32-bit fingerprint of a run of bytes, to notice that bytes read a
// second time are not those read the first time. Not a hash table's hash
// and not for adversaries: any change of the bytes changes a lane's state
// (each step is a bijection of it), so two different runs share a
// fingerprint only by the chance of the final 32-bit fold. Four independent
// lanes keep the multiplier busy, about eight bytes a cycle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ondravane {

namespace fingerprint_detail {

inline constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ULL;

inline std::uint64_t word_at(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

inline std::uint64_t step(std::uint64_t lane, std::uint64_t word) { return (lane ^ word) * kOdd; }

// Spreads every bit of `x` over the whole word.
inline std::uint64_t finish(std::uint64_t x) {
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93ULL;
  x ^= x >> 32;
  x *= 0xD6E8FEB86659FD93ULL;
  x ^= x >> 32;
  return x;
}

}  // namespace fingerprint_detail

inline std::uint32_t fingerprint(std::string_view bytes) {
  using namespace fingerprint_detail;
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  // The length starts the state, so that trailing zeros are told from the
  // padding of the last word.
  std::uint64_t a = left * kOdd + 1, b = 2, c = 3, d = 4;
  for (; left >= 32; p += 32, left -= 32) {
    a = step(a, word_at(p));
    b = step(b, word_at(p + 8));
    c = step(c, word_at(p + 16));
    d = step(d, word_at(p + 24));
  }
  for (; left >= 8; p += 8, left -= 8) a = step(a, word_at(p));
  if (left != 0) {
    std::uint64_t last = 0;
    std::memcpy(&last, p, left);
    b = step(b, last);
  }
  const std::uint64_t folded = finish(a ^ finish(b ^ finish(c ^ finish(d))));
  return static_cast<std::uint32_t>(folded ^ (folded >> 32));
}

// The fingerprint of two runs read apart (a token and a list of values).
inline std::uint32_t combined_fingerprint(std::uint32_t first, std::uint32_t second) {
  return static_cast<std::uint32_t>(
      fingerprint_detail::finish((std::uint64_t{first} << 32) | second));
}

}  // namespace ondravane
