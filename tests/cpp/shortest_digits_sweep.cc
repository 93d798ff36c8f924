// Compares the converter's shortest digits with the library's on COUNT
// doubles of each of three families: random bit patterns over the whole
// range, float32 values widened to double, and short decimals read on the
// exact path. Every value goes through the inline entry and the general path
// (which also serves the values the inline one takes), each with both forms
// of the 128-bit arithmetic; and the text written for it, against a plain
// layout of the library's digits; and the texts programs write for it
// (reference::number_texts), read and written again, against the same
// layout, with the digits read taken as the shortest exactly when they are.
// Plain C++ without a test framework, so that it
// builds for 32-bit x86 as it is; ctest runs it with a small count, a long
// comparison is `shortest_digits_sweep 100000000`.
//
//   shortest_digits_sweep COUNT [SEED]    exit status 1 on any difference
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

#include "converter/output/value_text.h"
#include "read_texts.h"
#include "shortest_digit_forms.h"
#include "shortest_reference.h"

namespace {

struct Family {
  const char* name;
  double (*draw)(std::mt19937_64&);
};

const Family kFamilies[] = {
    {"random bit patterns", [](std::mt19937_64& r) { return reference::any_bit_pattern(r()); }},
    {"widened float32", [](std::mt19937_64& r) { return reference::widened_float(r()); }},
    {"exact-path decimals",
     [](std::mt19937_64& r) {
       const std::uint64_t a = r();
       return reference::exact_path_decimal(a, r());
     }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s COUNT [SEED]\n", argv[0]);
    return 2;
  }
  const std::uint64_t count = std::strtoull(argv[1], nullptr, 10);
  const std::uint64_t seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 1;
  std::uint64_t differences = 0;
  for (const Family& family : kFamilies) {
    std::mt19937_64 random(seed);
    std::uint64_t checked = 0;
    std::uint64_t family_differences = 0;
    while (checked < count) {
      const double value = std::fabs(family.draw(random));
      if (!std::isfinite(value) || value == 0.0) continue;
      ++checked;
      const reference::ShortestForm expected = reference::library_shortest(value);
      const double signed_value = checked % 2 == 0 ? value : -value;
      std::array<char, ondravane::kMaxValueChars> text;
      const std::string_view written(text.data(), ondravane::format_value(signed_value, text));
      if (written != reference::positional_text(signed_value) && ++family_differences <= 10) {
        std::printf("%s, text: %a written as %.*s\n", family.name, signed_value,
                    static_cast<int>(written.size()), written.data());
      }
      for (const std::string& number : reference::number_texts(signed_value)) {
        const reference::ReadTextCheck check = reference::check_read_text(number);
        if (check.problem.empty() || check.problem == "not a finite nonzero number") continue;
        if (++family_differences <= 10) {
          std::printf("%s, read from %s: %s\n", family.name, number.c_str(), check.problem.c_str());
        }
      }
      for (const auto& form : ondravane::kShortestDigitForms) {
        const ondravane::DecimalDigits got = form.digits(value);
        if (got.significand == expected.significand && got.exponent == expected.exponent) continue;
        if (++family_differences <= 10) {
          std::printf("%s, %s: %a gives %" PRIu64 "e%d, the library %" PRIu64 "e%d\n", family.name, form.name,
                      value, got.significand, got.exponent, expected.significand, expected.exponent);
        }
      }
    }
    std::printf("%s: %" PRIu64 " doubles, %" PRIu64 " differences\n", family.name, checked, family_differences);
    differences += family_differences;
  }
  return differences == 0 ? 0 : 1;
}
