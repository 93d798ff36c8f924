// The list check with AVX2: two 32-byte loads per block, the bits counted
// with POPCNT and the masks combined with BMI1's and-not and lowest-bit
// instructions (BMI2 changes no instruction of it). Its functions stand in a
// target region for these instructions and run only where they are supported.
#include "converter/json/number_list_check_versions.h"

#if ONDRAVANE_X86_SCANS

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "converter/json/number_list_proof.h"
#include "support/target_region.h"

// Everything from here on, the shared block loop included, is compiled for
// these instructions.
ONDRAVANE_TARGET_BEGIN("avx2,bmi,popcnt")

#include "converter/json/number_list_blocks.h"

namespace ondravane {

namespace {

using number_list::ByteClasses;

[[gnu::always_inline]] inline std::uint64_t bits_of(__m256i low, __m256i high) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

[[gnu::always_inline]] inline std::uint64_t equal(__m256i low, __m256i high, char byte) {
  const __m256i wanted = _mm256_set1_epi8(byte);
  return bits_of(_mm256_cmpeq_epi8(low, wanted), _mm256_cmpeq_epi8(high, wanted));
}

// Unsigned: a digit is at most 9 above '0'.
[[gnu::always_inline]] inline __m256i digits(__m256i bytes) {
  const __m256i offset = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(offset, _mm256_set1_epi8(9)), offset);
}

// Only 'E' and 'e' become 'e' with the 0x20 bit set.
[[gnu::always_inline]] inline __m256i lowered(__m256i bytes) {
  return _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
}

[[gnu::always_inline]] inline ByteClasses classify(const char* block) {
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

struct Version {
  [[gnu::always_inline]] static ByteClasses classify(const char* block) { return ondravane::classify(block); }
  [[gnu::always_inline]] static std::size_t count(std::uint64_t bits) {
    return static_cast<std::size_t>(__builtin_popcountll(bits));
  }
};

}  // namespace

bool check_number_list_avx2(const char* open, const char* end, const char*& after, std::size_t& count) {
  return number_list::check_blocks<Version>(open, end, after, count);
}

}  // namespace ondravane

ONDRAVANE_TARGET_END

#endif
