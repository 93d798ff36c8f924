// The list check with AVX-512BW: one 64-byte load per block, compared
// straight into the 64-bit masks, with POPCNT and BMI1 for the rest.
// Its functions stand in a target region for these instructions and run
// only where the processor and the operating system support them.
#include "converter/json/number_list_check_versions.h"

#if ONDRAVANE_X86_SCANS

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "converter/json/number_list_proof.h"
#include "support/target_region.h"

// Everything from here on, the shared block loop included, is compiled for
// these instructions.
ONDRAVANE_TARGET_BEGIN("avx512f,avx512bw,avx2,bmi,popcnt")

#include "converter/json/number_list_blocks.h"

namespace ondravane {

namespace {

using number_list::ByteClasses;

[[gnu::always_inline]] inline std::uint64_t equal(__m512i bytes, char byte) {
  return _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(byte));
}

[[gnu::always_inline]] inline ByteClasses classify(const char* block) {
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

struct Version {
  [[gnu::always_inline]] static ByteClasses classify(const char* block) { return ondravane::classify(block); }
  [[gnu::always_inline]] static std::size_t count(std::uint64_t bits) {
    return static_cast<std::size_t>(__builtin_popcountll(bits));
  }
};

}  // namespace

bool check_number_list_avx512(const char* open, const char* end, const char*& after, std::size_t& count) {
  return number_list::check_blocks<Version>(open, end, after, count);
}

}  // namespace ondravane

ONDRAVANE_TARGET_END

#endif
