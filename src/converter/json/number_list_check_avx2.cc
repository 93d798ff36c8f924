// The list check with AVX2: two 32-byte loads per block, the bits counted
// with POPCNT and the masks combined with BMI1's and-not and lowest-bit
// instructions (BMI2 changes no instruction of it). Compiled for the baseline like every file; only the
// functions marked for AVX2 use it, and they run only where it is supported.
#include "converter/json/number_list_check_versions.h"

#if ONDRAVANE_X86_SCANS

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "converter/json/number_list_proof.h"

#define ONDRAVANE_AVX2 gnu::target("avx2,bmi,popcnt")

namespace ondravane {

namespace {

using number_list::ByteClasses;

[[ONDRAVANE_AVX2, gnu::always_inline]] inline std::uint64_t bits_of(__m256i low, __m256i high) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

[[ONDRAVANE_AVX2, gnu::always_inline]] inline std::uint64_t equal(__m256i low, __m256i high, char byte) {
  const __m256i wanted = _mm256_set1_epi8(byte);
  return bits_of(_mm256_cmpeq_epi8(low, wanted), _mm256_cmpeq_epi8(high, wanted));
}

// Unsigned: a digit is at most 9 above '0'.
[[ONDRAVANE_AVX2, gnu::always_inline]] inline __m256i digits(__m256i bytes) {
  const __m256i offset = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(offset, _mm256_set1_epi8(9)), offset);
}

// Only 'E' and 'e' become 'e' with the 0x20 bit set.
[[ONDRAVANE_AVX2, gnu::always_inline]] inline __m256i lowered(__m256i bytes) {
  return _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
}

[[ONDRAVANE_AVX2, gnu::always_inline]] inline ByteClasses classify(const char* block) {
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
  ByteClasses c;
  c.digit = bits_of(digits(low), digits(high));
  c.zero = equal(low, high, '0');
  c.minus = equal(low, high, '-');
  c.point = equal(low, high, '.');
  c.exponent = equal(lowered(low), lowered(high), 'e');
  c.comma = equal(low, high, ',');
  c.space = equal(low, high, ' ');
  c.close = equal(low, high, ']');
  return c;
}

}  // namespace

[[ONDRAVANE_AVX2]] bool check_number_list_avx2(const char* open, const char* end, const char*& after,
                                               std::size_t& count) {
  number_list::ListProof proof;
  std::size_t numbers = 0;
  char padded[64];
  for (const char* p = open + 1; p < end; p += 64) {
    const number_list::BlockVerdict verdict = proof.next(classify(number_list::block_at(p, end, padded)));
    if (verdict.unproved) return false;
    numbers += static_cast<std::size_t>(__builtin_popcountll(verdict.number_starts));
    if (verdict.close != 0) {
      after = p + std::countr_zero(verdict.close) + 1;
      count = numbers;
      return true;
    }
  }
  return false;
}

}  // namespace ondravane

#endif
