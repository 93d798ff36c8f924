// UTF-8 validation against a reference decoder.
#include "converter/json/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace ondravane {
namespace {

struct Utf8Case {
  const char* name;
  std::string bytes;
  bool valid;
};

class Utf8Test : public testing::TestWithParam<Utf8Case> {};

// Each case is checked alone and behind ASCII prefixes of every length up to
// two words, so it lands at every offset of the word-at-a-time scan. Every
// invalid case is malformed from its first byte, which is where the first
// invalid offset must point.
TEST_P(Utf8Test, AcceptsExactlyWellFormedText) {
  const Utf8Case& c = GetParam();
  for (int prefix = 0; prefix <= 17; ++prefix) {
    for (const char* suffix : {"", "abcdefghij"}) {
      const std::string text = std::string(prefix, 'a') + c.bytes + suffix;
      EXPECT_EQ(is_valid_utf8(text), c.valid) << c.name << " after " << prefix << " bytes";
      EXPECT_EQ(first_invalid_utf8(text), c.valid ? text.size() : static_cast<std::size_t>(prefix))
          << c.name << " after " << prefix << " bytes";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Test,
    testing::Values(
        Utf8Case{"Empty", "", true}, Utf8Case{"Nul", std::string(1, '\0'), true},
        Utf8Case{"Delete", "\x7F", true}, Utf8Case{"U0080", "\xC2\x80", true},
        Utf8Case{"U07FF", "\xDF\xBF", true}, Utf8Case{"U0800", "\xE0\xA0\x80", true},
        Utf8Case{"UD7FF", "\xED\x9F\xBF", true}, Utf8Case{"UE000", "\xEE\x80\x80", true},
        Utf8Case{"UFFFF", "\xEF\xBF\xBF", true}, Utf8Case{"U10000", "\xF0\x90\x80\x80", true},
        Utf8Case{"U10FFFF", "\xF4\x8F\xBF\xBF", true}, Utf8Case{"GBreve", "\xC4\xA0", true},
        Utf8Case{"StrayContinuation", "\x80", false}, Utf8Case{"Overlong2C0", "\xC0\x80", false},
        Utf8Case{"Overlong2C1", "\xC1\xBF", false}, Utf8Case{"Overlong3", "\xE0\x9F\xBF", false},
        Utf8Case{"Overlong4", "\xF0\x8F\xBF\xBF", false}, Utf8Case{"SurrogateD800", "\xED\xA0\x80", false},
        Utf8Case{"SurrogateDFFF", "\xED\xBF\xBF", false}, Utf8Case{"Above10FFFF", "\xF4\x90\x80\x80", false},
        Utf8Case{"LeadF5", "\xF5\x80\x80\x80", false}, Utf8Case{"LeadFF", "\xFF", false},
        Utf8Case{"Truncated2", "\xC2", false}, Utf8Case{"Truncated3", "\xE2\x82", false},
        Utf8Case{"Truncated4", "\xF0\x9F\x98", false},
        Utf8Case{"AsciiInsteadOfContinuation", "\xC2\x41", false},
        Utf8Case{"LeadInsteadOfContinuation", "\xE2\xC2\x80", false},
        Utf8Case{"FourthByteMissing", "\xF0\x9F\x98\x41", false}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return info.param.name; });

// An independent decoder: reads the code point the bytes spell and checks it
// against the shortest form and the Unicode scalar value range.
bool reference_valid(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    int length;
    std::uint32_t cp;
    if (b < 0x80) { length = 1; cp = b; }
    else if ((b & 0xE0) == 0xC0) { length = 2; cp = b & 0x1F; }
    else if ((b & 0xF0) == 0xE0) { length = 3; cp = b & 0x0F; }
    else if ((b & 0xF8) == 0xF0) { length = 4; cp = b & 0x07; }
    else return false;
    if (i + length > n) return false;
    for (int k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    const int shortest = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    if (length != shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

TEST(Utf8, AgreesWithAReferenceDecoderOnAllTwoAndThreeByteSequences) {
  unsigned char bytes[3];
  for (unsigned a = 0x80; a < 0x100; ++a) {
    for (unsigned b = 0; b < 0x100; ++b) {
      bytes[0] = static_cast<unsigned char>(a);
      bytes[1] = static_cast<unsigned char>(b);
      std::string_view two(reinterpret_cast<const char*>(bytes), 2);
      ASSERT_EQ(is_valid_utf8(two), reference_valid(bytes, 2)) << std::hex << a << ' ' << b;
      if (a < 0xE0 || a > 0xEF) continue;
      for (unsigned c = 0; c < 0x100; ++c) {
        bytes[2] = static_cast<unsigned char>(c);
        std::string_view three(reinterpret_cast<const char*>(bytes), 3);
        ASSERT_EQ(is_valid_utf8(three), reference_valid(bytes, 3)) << std::hex << a << ' ' << b << ' ' << c;
      }
    }
  }
}

TEST(Utf8, AgreesWithAReferenceDecoderOnFourByteSequences) {
  const unsigned char tails[] = {0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xFF};
  unsigned char bytes[4];
  for (unsigned a = 0xF0; a < 0x100; ++a) {
    for (unsigned b = 0; b < 0x100; ++b) {
      for (unsigned char c : tails) {
        for (unsigned char d : tails) {
          bytes[0] = static_cast<unsigned char>(a);
          bytes[1] = static_cast<unsigned char>(b);
          bytes[2] = c;
          bytes[3] = d;
          std::string_view four(reinterpret_cast<const char*>(bytes), 4);
          ASSERT_EQ(is_valid_utf8(four), reference_valid(bytes, 4)) << std::hex << a << ' ' << b;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ondravane
