// Fuzzes the value text of the output file: for any double, the text reads
// back (through the C library's correctly rounded strtod) as the same bits,
// is positional (no exponent, no stray zeros), and carries no more significant
// digits than the shortest form that round-trips. And the shortest digits
// themselves, in every form of their computation, are the C++ library's, for
// each input word read as a double, as a widened float32 and as a short
// decimal on the exact path. And the input's values as one list, cut into
// rooms of some size, read as their texts one by one. And values read from
// number texts (the texts programs write for each double, and the input
// itself when it is a number) written as the library lays out its digits,
// with the digits read taken as the shortest exactly when they are.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/output/value_text.h"
#include "shortest_digit_forms.h"
#include "read_texts.h"
#include "shortest_reference.h"

namespace {

[[noreturn]] void report(const char* what, double value, const std::string& text) {
  std::fprintf(stderr, "value format invariant broken: %s\nvalue %a (bits %016llx)\ntext %s\n", what, value,
               static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)), text.c_str());
  std::abort();
}

// The fewest significant digits that round-trip, found by trying every
// precision in turn.
int shortest_digits(double magnitude) {
  char buffer[64];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, magnitude);
    if (std::strtod(buffer, nullptr) == magnitude) return digits;
  }
  return 17;
}

void check(double value) {
  std::array<char, ondravane::kMaxValueChars> room;
  const std::size_t length = ondravane::format_value(value, std::span<char, ondravane::kMaxValueChars>(room));
  if (length == 0 || length > room.size()) report("length out of range", value, "");
  const std::string text(room.data(), length);

  if (std::isnan(value)) {
    if (text != "nan" && text != "-nan") report("NaN text", value, text);
    return;
  }
  if (std::isinf(value)) {
    if (text != (value < 0 ? "-inf" : "inf")) report("infinity text", value, text);
    return;
  }

  // Shape: [-] digits [. digits], a leading zero only directly before the
  // point, no trailing zero after it.
  std::size_t i = 0;
  if (text[0] == '-') ++i;
  if (std::signbit(value) != (i == 1)) report("sign", value, text);
  const std::size_t integer_start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  const std::size_t integer_digits = i - integer_start;
  if (integer_digits == 0) report("no integer digits", value, text);
  if (integer_digits > 1 && text[integer_start] == '0') report("leading zero", value, text);
  std::size_t fraction_digits = 0;
  if (i < text.size()) {
    if (text[i] != '.') report("unexpected character", value, text);
    ++i;
    const std::size_t fraction_start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    fraction_digits = i - fraction_start;
    if (fraction_digits == 0) report("point without digits", value, text);
    if (text.back() == '0') report("trailing zero after the point", value, text);
    if (i != text.size()) report("unexpected character", value, text);
  }
  if (value == 0) {
    if (text != (std::signbit(value) ? "-0" : "0")) report("zero text", value, text);
    return;
  }

  // Reads back to exactly the same bits.
  const double back = std::strtod(text.c_str(), nullptr);
  if (std::bit_cast<std::uint64_t>(back) != std::bit_cast<std::uint64_t>(value)) {
    report("does not round-trip", value, text);
  }

  // Significant digits: from the first non-zero digit to the last non-zero
  // digit (zeros that only place an integer's magnitude do not count).
  const std::size_t first = text.find_first_of("123456789");
  const std::size_t last = text.find_last_of("123456789");
  int significant = 0;
  for (std::size_t k = first; k <= last; ++k) significant += text[k] != '.';
  if (significant > shortest_digits(std::fabs(value))) report("more digits than the shortest form", value, text);
}

void check_digits(double value) {
  const double magnitude = std::fabs(value);
  if (!std::isfinite(magnitude) || magnitude == 0.0) return;
  const reference::ShortestForm expected = reference::library_shortest(magnitude);
  for (const auto& form : ondravane::kShortestDigitForms) {
    const ondravane::DecimalDigits got = form.digits(magnitude);
    if (got.significand != expected.significand || got.exponent != expected.exponent) {
      const std::string digits = std::to_string(got.significand) + "e" + std::to_string(got.exponent) + " (" +
                                 form.name + "), the library's " + std::to_string(expected.significand) + "e" +
                                 std::to_string(expected.exponent);
      report("shortest digits differ from the library's", magnitude, digits);
    }
  }
}

// The values as one list, formatted in rooms that cut it where the input's
// first byte says: the texts of the values one by one, a blank between two.
void check_list(const std::vector<double>& values, std::size_t extra_room) {
  std::string expected;
  for (double value : values) {
    std::array<char, ondravane::kMaxValueChars> room;
    if (!expected.empty()) expected += ' ';
    expected.append(room.data(), ondravane::format_value(value, std::span<char, ondravane::kMaxValueChars>(room)));
  }
  std::vector<char> room(ondravane::kMaxValueSlot + extra_room);
  std::string got;
  for (std::size_t done = 0; done < values.size();) {
    std::size_t used;
    const std::size_t count = ondravane::format_values(std::span<const double>(values).subspan(done), done != 0,
                                                       std::span<char>(room), used);
    if (count == 0 || used > room.size()) report("list formatting made no progress", values[done], got);
    got.append(room.data(), used);
    done += count;
  }
  if (got != expected) report("list text differs from the values' texts", values.front(), got);
}

void check_read(std::string_view text) {
  const reference::ReadTextCheck check = reference::check_read_text(text);
  if (!check.problem.empty() && check.problem != "not a finite nonzero number") {
    report(check.problem.c_str(), 0, std::string(text));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<double> values;
  // Each 8 bytes are one double's bits; a short tail is padded with zeros.
  for (std::size_t offset = 0; offset < size; offset += 8) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + offset, size - offset < 8 ? size - offset : 8);
    values.push_back(std::bit_cast<double>(bits));
    check(std::bit_cast<double>(bits));
    // Neighbours of the same value, where digit generation changes length.
    check(std::nextafter(std::bit_cast<double>(bits), 0.0));
    check_digits(std::bit_cast<double>(bits));
    check_digits(reference::widened_float(bits));
    check_digits(reference::exact_path_decimal(bits, (bits << 32) | (bits >> 32)));
    for (const double read : {std::bit_cast<double>(bits), reference::widened_float(bits)}) {
      if (!std::isfinite(read) || read == 0) continue;
      for (const std::string& text : reference::number_texts(read)) check_read(text);
    }
  }
  check_read(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!values.empty()) check_list(values, std::size_t{data[0]} * 3);
  return 0;
}
