// The list check on the baseline instruction set: four 16-byte loads per
// block, their compares gathered into the masks with movemask, and the bits
// counted without a count instruction, which SSE2 processors may lack.
#include "converter/json/number_list_check_versions.h"

#if ONDRAVANE_X86_SCANS

#include <emmintrin.h>

#include <bit>
#include <cstdint>

#include "converter/json/number_list_proof.h"
// The baseline needs no target region.
#include "converter/json/number_list_blocks.h"

namespace ondravane {

namespace {

using number_list::ByteClasses;

inline std::uint64_t bits_of(__m128i matches, int part) {
  return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(matches)))
         << (16 * part);
}

inline __m128i equal(__m128i bytes, char byte) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte)); }

ByteClasses classify(const char* block) {
  ByteClasses c;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    // Unsigned: a digit is at most 9 above '0'.
    const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    c.digit |= bits_of(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset), part);
    c.zero |= bits_of(equal(bytes, '0'), part);
    c.minus |= bits_of(equal(bytes, '-'), part);
    c.point |= bits_of(equal(bytes, '.'), part);
    // Only 'E' and 'e' become 'e' with the 0x20 bit set.
    c.exponent |= bits_of(equal(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'e'), part);
    c.comma |= bits_of(equal(bytes, ','), part);
    c.space |= bits_of(equal(bytes, ' '), part);
    c.close |= bits_of(equal(bytes, ']'), part);
  }
  return c;
}

// std::popcount would be a library call here.
inline std::size_t count_bits(std::uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555ULL;
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<std::size_t>((x * 0x0101010101010101ULL) >> 56);
}

struct Version {
  [[gnu::always_inline]] static ByteClasses classify(const char* block) { return ondravane::classify(block); }
  [[gnu::always_inline]] static std::size_t count(std::uint64_t bits) { return count_bits(bits); }
};

}  // namespace

bool check_number_list_sse2(const char* open, const char* end, const char*& after, std::size_t& count) {
  return number_list::check_blocks<Version>(open, end, after, count);
}

}  // namespace ondravane

#endif
