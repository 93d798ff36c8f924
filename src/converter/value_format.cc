#include "converter/value_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ondravane {

namespace {

// Room for the digits of any double's shortest form (at most 17), for the
// shortest scientific form "1.2345678901234567e-308", and for the fixed-size
// reads below past their end.
constexpr std::size_t kScratchChars = 64;

// Bytes are copied and zeros written this many at once where the output has
// room for them: the digits never number more than seventeen, and the zeros
// of the common magnitudes fit too. Bytes past the text's length are scratch.
constexpr std::size_t kChunk = 32;

// Copies `count` (at most kChunk) bytes; `room` is the space left at `to`.
inline void copy_short(char* to, const char* from, std::size_t count, std::size_t room) {
  if (room >= kChunk) {
    std::memcpy(to, from, kChunk);
  } else {
    std::memcpy(to, from, count);
  }
}

// Writes `count` zero digits; `room` is the space left at `to`.
inline void fill_zeros(char* to, std::size_t count, std::size_t room) {
  if (count <= kChunk && room >= kChunk) {
    std::memset(to, '0', kChunk);
  } else {
    std::memset(to, '0', count);
  }
}

#if defined(__SIZEOF_INT128__)
// The exact path below needs 128-bit products; targets without them take the
// library's digits for every value.
#define ONDRAVANE_EXACT_SHORTEST 1
__extension__ typedef unsigned __int128 u128;

// base^0, base^1, ..., base^(N-1), all below 2^64.
template <std::size_t N>
constexpr std::array<std::uint64_t, N> powers_of(std::uint64_t base) {
  std::array<std::uint64_t, N> powers{};
  std::uint64_t power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= base;
  }
  return powers;
}

constexpr auto kPowersOfTen = powers_of<20>(10);

// 5^s shifted up until its top bit is bit 63, and the shift: exact for
// s <= 27, as 5^27 < 2^63.
struct NormalizedPower {
  std::uint64_t significand;
  int shift;
};
constexpr std::array<NormalizedPower, 28> normalized_powers_of_five() {
  std::array<NormalizedPower, 28> table{};
  for (std::size_t s = 0; s < table.size(); ++s) {
    const std::uint64_t power = powers_of<28>(5)[s];
    const int shift = std::countl_zero(power);
    table[s] = {power << shift, shift};
  }
  return table;
}
constexpr auto kFive = normalized_powers_of_five();

// The decimal form of a double: digits × 10^exponent, digits not ending in 0
// (except for the single digit of a zero, which never comes here).
struct Decimal {
  std::uint64_t digits;
  int exponent;
};

// Binary exponents (of the value as an integer significand of 53 bits times
// 2^q) for which shortest_exact works: from q = -88 (values from about
// 1.5e-11) to q = -1 (values below 2^52), which covers what activation files
// hold. Everything else goes to the library.
constexpr int kLowestExponent = -88;
constexpr int kHighestExponent = -1;

inline std::uint64_t high_word(u128 x) { return static_cast<std::uint64_t>(x >> 64); }
inline std::uint64_t low_word(u128 x) { return static_cast<std::uint64_t>(x); }

// The shortest digits of a normal double v = c × 2^q with q in the range
// above, computed exactly. Reading decimal text back rounds to the nearest
// double, ties to the even significand, so the decimals that read back as v
// are those between the midpoints to its neighbours, the midpoints included
// when c is even. Among those, the ones with the fewest significant digits
// are the multiples of the largest power of ten the interval holds a
// multiple of (two of them would straddle a multiple of the next power, and
// a multiple with fewer digits at a lower power would put a power of ten
// inside the interval); the one nearest to v is taken, ties to an even last
// digit. (In this range a midpoint has at least 18 significant digits, so it
// never is a candidate itself; the inclusion rule is kept for what it says.)
//
// Everything is scaled by 10^s, with s chosen so that the interval, whose
// width is 2^q (or 3/4 of it below a power of two), becomes at least 1.5
// units wide: then it holds an integer, and its bounds are below 2^58. The
// scaled value and the midpoints are 4c·5^s and (4c ± 2)·5^s (4c - 1 below a
// power of two) in units of 2^-(t+2), t = -(s + q) >= 0. They are computed
// as 128-bit products with 5^s normalized to 64 bits and 4c shifted by h
// (0 to 3) more, so that the unit falls exactly on bit 64: the integer part
// is the high word and the fraction the low word, with no shift of 128 bits.
// Exact, because 4c·2^h < 2^58 and the normalized 5^s < 2^64.
Decimal shortest_exact(std::uint64_t c, bool lower_closer, int q) {
  // s = ceil((1 - q)·log10(2)); (1 - q)·log10(2) is never an integer here,
  // and 78913 / 2^18 approximates log10(2) closely enough below 1650.
  const int s = static_cast<int>((static_cast<std::uint32_t>(1 - q) * 78913U) >> 18) + 1;
  const NormalizedPower five = kFive[static_cast<std::size_t>(s)];
  // In 4c·5^s the scaled value's unit is bit t + 2; the normalization and h
  // move it by five.shift + h, to bit 64.
  const int h = 62 + q + s - five.shift;
  const u128 center = static_cast<u128>((4 * c) << h) * five.significand;
  const u128 below =
      center - static_cast<u128>(std::uint64_t{lower_closer ? 1U : 2U} << h) * five.significand;
  const u128 above = center + static_cast<u128>(std::uint64_t{2} << h) * five.significand;

  // The integers of the scaled interval: [lo, hi].
  const bool inclusive = (c & 1) == 0;
  std::uint64_t lo = high_word(below) + (!inclusive || low_word(below) != 0 ? 1 : 0);
  std::uint64_t hi = high_word(above) - (!inclusive && low_word(above) == 0 ? 1 : 0);

  // Up the powers of ten while the interval still holds a multiple; n
  // follows as the value's integer part at each power (floors of floors).
  const std::uint64_t whole = high_word(center);
  std::uint64_t n = whole;
  // The first step is taken or not without a branch: whether it is taken
  // depends on the value, and a mispredicted branch costs more than both
  // sides. A second step is rare.
  const std::uint64_t lo_tens = (lo + 9) / 10;
  const std::uint64_t hi_tens = hi / 10;
  const bool tens = lo_tens <= hi_tens;
  lo = tens ? lo_tens : lo;
  hi = tens ? hi_tens : hi;
  n = tens ? n / 10 : n;
  int level = tens ? 1 : 0;
  while (tens && (lo + 9) / 10 <= hi / 10) {
    lo = (lo + 9) / 10;
    hi /= 10;
    n /= 10;
    ++level;
  }

  // The multiple nearest to the value, ties to even, kept in [lo, hi]: the
  // remainder below it, with the fraction as its low word, against half the
  // power (2^63 in the low word when the power is 1).
  const std::uint64_t power = kPowersOfTen[static_cast<std::size_t>(level)];
  const u128 remainder = (static_cast<u128>(whole - n * power) << 64) | low_word(center);
  const u128 half = (static_cast<u128>(power >> 1) << 64) | (static_cast<u128>(power & 1) << 63);
  n += static_cast<std::uint64_t>((remainder > half) | ((remainder == half) & ((n & 1) != 0)));
  if (n < lo) n = lo;
  if (n > hi) n = hi;
  return {n, level - s};
}

// The eight decimal digits of `x` (below 10^8, leading zeros included) as
// text in one word, the first digit in its lowest byte. The halves, quarters
// and single digits are split in parallel lanes of one integer: no chain of
// divisions, which a digit-pair loop spends most of its time waiting on.
std::uint64_t eight_digits(std::uint32_t x) {
  static_assert(std::endian::native == std::endian::little);
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

// The number of decimal digits of `n` (not zero).
int digit_count(std::uint64_t n) {
  const int bits = 64 - std::countl_zero(n);
  const int guess = (bits * 1233) >> 12;  // floor(log10(2^bits)), maybe one too few
  return guess + (n >= kPowersOfTen[static_cast<std::size_t>(guess)] ? 1 : 0);
}

// Writes the decimal digits of `n` (not zero, below 10^17) to the 17 bytes
// before `end`, leading zeros included; returns where the digits start.
char* write_digits(std::uint64_t n, char* end) {
  const std::uint64_t upper = n / 100000000;
  const std::uint64_t low = eight_digits(static_cast<std::uint32_t>(n - upper * 100000000));
  const std::uint64_t middle = eight_digits(static_cast<std::uint32_t>(upper % 100000000));
  end[-17] = static_cast<char>('0' + upper / 100000000);
  std::memcpy(end - 16, &middle, 8);
  std::memcpy(end - 8, &low, 8);
  return end - digit_count(n);
}

#endif

}  // namespace

std::size_t format_value(double value, std::span<char, kMaxValueChars> out) {
  char* cursor = out.data();
  char* const limit = out.data() + kMaxValueChars;
  *cursor = '-';  // kept only for a negative value
  cursor += std::signbit(value) ? 1 : 0;
  double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    *cursor++ = '0';
    return static_cast<std::size_t>(cursor - out.data());
  }
  if (!std::isfinite(magnitude)) {
    std::memcpy(cursor, std::isnan(magnitude) ? "nan" : "inf", 3);
    return static_cast<std::size_t>(cursor - out.data()) + 3;
  }

  // The significant digits d1...dn and k such that the value is
  // 0.d1...dn × 10^k.
  char scratch[kScratchChars] = {};
  const char* digits;
  std::size_t count;
  int k;
#if defined(ONDRAVANE_EXACT_SHORTEST)
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  const int q = biased - 1075;
  if (biased != 0 && q >= kLowestExponent && q <= kHighestExponent) {
    const std::uint64_t field = bits & ((std::uint64_t{1} << 52) - 1);
    const Decimal decimal = shortest_exact(field | (std::uint64_t{1} << 52), field == 0, q);
    char* const end = scratch + 24;
    digits = write_digits(decimal.digits, end);
    count = static_cast<std::size_t>(end - digits);
    k = static_cast<int>(count) + decimal.exponent;
  } else
#endif
  {
    // The library's shortest scientific form carries the same digits: fewest
    // significant digits that round-trip, nearest to the value among those.
    // Its fixed form is not usable: for large magnitudes it prints the exact
    // binary value instead of padding the shortest digits.
    const char* const end =
        std::to_chars(scratch, scratch + 40, magnitude, std::chars_format::scientific).ptr;
    // The form is d1[.d2...dn]e<sign><two or three digits>.
    const bool long_exponent = end[-4] != 'e';
    const char* const e = end - (long_exponent ? 5 : 4);
    int exponent = (e[2] - '0') * 10 + (e[3] - '0');
    if (long_exponent) exponent = exponent * 10 + (e[4] - '0');
    if (e[1] == '-') exponent = -exponent;
    // d1.d2...dn × 10^x is 0.d1d2...dn × 10^(x + 1). The point after d1
    // makes way for it.
    k = exponent + 1;
    if (e == scratch + 1) {
      count = 1;
      digits = scratch;
    } else {
      scratch[1] = scratch[0];
      digits = scratch + 1;
      count = static_cast<std::size_t>(e - digits);
    }
  }
  const auto room = [&] { return static_cast<std::size_t>(limit - cursor); };

  const int digit_count = static_cast<int>(count);
  if (k > -static_cast<int>(kChunk / 2) && k < digit_count) {
    // The common magnitudes, with no branch on where the point goes (which
    // depends on the value): m zeros, then the digits, and the point after
    // k + m of those characters; m is 1 - k when the point comes first
    // ("0.", "0.0", ...), otherwise 0.
    const int m = k <= 0 ? 1 - k : 0;
    char padded[2 * kChunk];
    std::memset(padded, '0', kChunk);
    std::memcpy(padded + m, digits, kChunk);
    const int point = k + m;
    std::memcpy(cursor, padded, kChunk);
    cursor[point] = '.';
    std::memcpy(cursor + point + 1, padded + point, kChunk);
    return static_cast<std::size_t>(cursor - out.data()) + static_cast<std::size_t>(m + digit_count + 1);
  }
  if (k <= 0) {
    const auto zeros = static_cast<std::size_t>(-k);
    *cursor++ = '0';
    *cursor++ = '.';
    fill_zeros(cursor, zeros, room());
    cursor += zeros;
    copy_short(cursor, digits, count, room());
    cursor += count;
  } else if (static_cast<std::size_t>(k) < count) {
    // The point falls among the digits.
    const auto before = static_cast<std::size_t>(k);
    copy_short(cursor, digits, count, room());
    cursor += before;
    *cursor++ = '.';
    copy_short(cursor, digits + before, count - before, room());
    cursor += count - before;
  } else {
    // All digits before the point, padded with zeros up to the units.
    const auto zeros = static_cast<std::size_t>(k) - count;
    copy_short(cursor, digits, count, room());
    cursor += count;
    fill_zeros(cursor, zeros, room());
    cursor += zeros;
  }
  return static_cast<std::size_t>(cursor - out.data());
}

}  // namespace ondravane
