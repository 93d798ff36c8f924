// Sixteen decimal digits as text: two numbers below 10^8, each written with
// its leading zeros, the first digit in the lowest byte of its word. The
// values' text is made of these words, so they are split in parallel lanes
// rather than by a chain of divisions. On x86 (SSE2, the baseline of every
// build there) both numbers share one register; elsewhere each is split in
// the lanes of one 64-bit integer. Both forms give the same bytes, which
// tests compare.
#pragma once

#include <bit>
#include <cstdint>

#include "support/instruction_set.h"

#if ONDRAVANE_X86_SCANS
#include <emmintrin.h>
#endif

namespace ondravane {

static_assert(std::endian::native == std::endian::little);

// The text of `first` and of `second`, eight characters each.
struct SixteenDigits {
  std::uint64_t first;
  std::uint64_t second;
};

// The eight digits of `x` (below 10^8) in one word, from 64-bit arithmetic.
inline std::uint64_t eight_digits_in_lanes(std::uint32_t x) {
  // abcd | efgh in 32-bit lanes.
  const std::uint64_t quads = (x / 10000) | (static_cast<std::uint64_t>(x % 10000) << 32);
  // Per lane: floor(lane / 100) by a multiplication exact below 43699.
  const std::uint64_t high_pairs = ((quads * 10486) >> 20) & 0x0000007F0000007FULL;
  // ab | cd | ef | gh in 16-bit lanes.
  const std::uint64_t pairs = high_pairs | ((quads - high_pairs * 100) << 16);
  // Per lane: floor(lane / 10), exact below 1029.
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
  const std::uint64_t digits = tens | ((pairs - tens * 10) << 8);
  return digits + 0x3030303030303030ULL;
}

inline SixteenDigits sixteen_digits_in_lanes(std::uint32_t first, std::uint32_t second) {
  return {eight_digits_in_lanes(first), eight_digits_in_lanes(second)};
}

#if ONDRAVANE_X86_SCANS
// The same split with both numbers in one SSE2 register: their halves of
// four digits, pairs and single digits side by side in its lanes.
[[gnu::always_inline]] inline SixteenDigits sixteen_digits_sse2(std::uint32_t first, std::uint32_t second) {
  // 32-bit lanes: first, 0, second, 0.
  const __m128i x = _mm_set_epi32(0, static_cast<int>(second), 0, static_cast<int>(first));
  // floor(x / 10^4) = x · 3518437209 / 2^45 below 10^8: the multiplier is
  // 2^45 / 10^4 rounded up by less than 0.12, which adds less than 4e-7 to
  // a quotient whose fraction is at most 0.9999.
  const __m128i high = _mm_srli_epi64(_mm_mul_epu32(x, _mm_set1_epi32(static_cast<int>(3518437209U))), 45);
  const __m128i low = _mm_sub_epi32(x, _mm_mul_epu32(high, _mm_set1_epi32(10000)));
  // 16-bit lanes: abcd, 0, efgh, 0 of each number.
  const __m128i quads = _mm_or_si128(high, _mm_slli_epi64(low, 32));
  // floor(lane / 100) = lane · 5243 / 2^19, exact below 43699.
  const __m128i high_pairs = _mm_srli_epi16(_mm_mulhi_epu16(quads, _mm_set1_epi16(5243)), 3);
  const __m128i low_pairs = _mm_sub_epi16(quads, _mm_mullo_epi16(high_pairs, _mm_set1_epi16(100)));
  // 16-bit lanes: ab, cd, ef, gh of each number.
  const __m128i pairs = _mm_or_si128(high_pairs, _mm_slli_epi32(low_pairs, 16));
  // floor(lane / 10) = lane · 6554 / 2^16, exact below 100.
  const __m128i tens = _mm_mulhi_epu16(pairs, _mm_set1_epi16(6554));
  const __m128i ones = _mm_sub_epi16(pairs, _mm_mullo_epi16(tens, _mm_set1_epi16(10)));
  const __m128i text = _mm_add_epi8(_mm_or_si128(tens, _mm_slli_epi16(ones, 8)), _mm_set1_epi8('0'));
#if defined(__x86_64__)
  return {static_cast<std::uint64_t>(_mm_cvtsi128_si64(text)),
          static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(text, text)))};
#else
  // 32-bit x86 has no move of 64 bits to a general register.
  alignas(16) std::uint64_t words[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(words), text);
  return {words[0], words[1]};
#endif
}
#endif

[[gnu::always_inline]] inline SixteenDigits sixteen_digits(std::uint32_t first, std::uint32_t second) {
#if ONDRAVANE_X86_SCANS
  return sixteen_digits_sse2(first, second);
#else
  return sixteen_digits_in_lanes(first, second);
#endif
}

}  // namespace ondravane
