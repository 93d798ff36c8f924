// The list check with AVX-512BW: one 64-byte load per block, compared
// straight into the 64-bit masks, with POPCNT and BMI1 for the rest.
// Compiled for the baseline like every file; only the functions marked for
// AVX-512 use it, and they run only where the processor and the operating
// system support it.
#include "converter/json/number_list_check_versions.h"

#if ONDRAVANE_X86_SCANS

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "converter/json/number_list_proof.h"

#define ONDRAVANE_AVX512 gnu::target("avx512f,avx512bw,avx2,bmi,popcnt")

namespace ondravane {

namespace {

using number_list::ByteClasses;

[[ONDRAVANE_AVX512, gnu::always_inline]] inline std::uint64_t equal(__m512i bytes, char byte) {
  return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(byte));
}

[[ONDRAVANE_AVX512, gnu::always_inline]] inline ByteClasses classify(const char* block) {
  const __m512i bytes = _mm512_loadu_si512(block);
  ByteClasses c;
  // Unsigned: a digit is at most 9 above '0'.
  c.digit = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
  c.zero = equal(bytes, '0');
  c.minus = equal(bytes, '-');
  c.point = equal(bytes, '.');
  // Only 'E' and 'e' become 'e' with the 0x20 bit set.
  c.exponent = equal(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)), 'e');
  c.comma = equal(bytes, ',');
  c.space = equal(bytes, ' ');
  c.close = equal(bytes, ']');
  return c;
}

}  // namespace

[[ONDRAVANE_AVX512]] bool check_number_list_avx512(const char* open, const char* end, const char*& after,
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
