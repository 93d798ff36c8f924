// Strict UTF-8 validation, skipping ASCII a word at a time.
#include "converter/json/utf8.h"

#include <cstdint>
#include <cstring>

namespace ondravane {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

inline bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8_sequence_length(const unsigned char* p, std::size_t available) {
  const unsigned char lead = p[0];
  if (lead < 0xC2) return 0;  // stray continuation byte or overlong 2-byte form
  if (lead < 0xE0) return available >= 2 && is_continuation(p[1]) ? 2 : 0;
  if (lead < 0xF0) {
    if (available < 3) return 0;
    // E0 would allow overlong forms below A0; ED would encode surrogates from A0.
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    if (p[1] < low || p[1] > high || !is_continuation(p[2])) return 0;
    return 3;
  }
  if (lead < 0xF5) {
    if (available < 4) return 0;
    // F0 would allow overlong forms below 90; F4 would go past U+10FFFF from 90.
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    if (p[1] < low || p[1] > high || !is_continuation(p[2]) || !is_continuation(p[3])) return 0;
    return 4;
  }
  return 0;
}

bool is_valid_utf8(std::string_view text) { return first_invalid_utf8(text) == text.size(); }

std::size_t first_invalid_utf8(std::string_view text) {
  const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* p = begin;
  const auto* end = p + text.size();
  while (p != end) {
    // Activation files are almost all ASCII: skip it four words at a time,
    // then a word at a time.
    while (end - p >= 32) {
      std::uint64_t blocks[4];
      std::memcpy(blocks, p, sizeof blocks);
      if ((blocks[0] | blocks[1] | blocks[2] | blocks[3]) & kHighBits) break;
      p += 32;
    }
    while (end - p >= 8) {
      std::uint64_t block;
      std::memcpy(&block, p, sizeof block);
      if (block & kHighBits) break;
      p += 8;
    }
    while (p != end && *p < 0x80) ++p;
    if (p == end) break;
    const std::size_t length = utf8_sequence_length(p, static_cast<std::size_t>(end - p));
    if (length == 0) return static_cast<std::size_t>(p - begin);
    p += length;
  }
  return text.size();
}

}  // namespace ondravane
