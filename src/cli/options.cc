#include "cli/options.h"

#include <charconv>

namespace ondravane::cli {

namespace {

bool all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::optional<std::int64_t> parse_int64(const std::string& text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (!all_digits(digits)) return std::nullopt;
  std::uint64_t magnitude = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  if (negative) {
    if (magnitude > kLimit) return std::nullopt;
    return magnitude == kLimit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
  }
  if (magnitude >= kLimit) return std::nullopt;
  return static_cast<std::int64_t>(magnitude);
}

std::optional<std::uint64_t> parse_uint64(const std::string& text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  // "-0" is the integer 0, which a Python argument accepts too.
  if (digits.size() >= 2 && digits.front() == '-' && digits.find_first_not_of('0', 1) == std::string_view::npos) {
    return 0;
  }
  if (!all_digits(digits)) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

ParseResult parse_options(const std::vector<std::string>& arguments) {
  Options options;
  std::vector<std::string> positional;
  bool only_positional = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (only_positional || argument.size() < 2 || argument[0] != '-' ||
        (argument[1] != '-' && argument != "-h")) {
      positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      only_positional = true;
      continue;
    }
    if (argument == "--help" || argument == "-h") {
      options.show_help = true;
      continue;
    }
    if (argument == "--version") {
      options.show_version = true;
      continue;
    }
    std::string name = argument;
    std::optional<std::string> value;
    if (auto equals = argument.find('='); equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
    }
    if (name != "--min" && name != "--keep" && name != "--seed") {
      return {std::nullopt, "unknown option '" + name + "'"};
    }
    if (!value) {
      if (i + 1 >= arguments.size()) return {std::nullopt, "option '" + name + "' needs a value"};
      value = arguments[++i];
    }
    if (name == "--seed") {
      auto seed = parse_uint64(*value);
      if (!seed) return {std::nullopt, "--seed takes an integer from 0 to 18446744073709551615, not '" + *value + "'"};
      options.conversion.seed = *seed;
    } else {
      auto number = parse_int64(*value);
      if (!number) {
        return {std::nullopt, name + " takes an integer from -9223372036854775808 to 9223372036854775807, not '" +
                                  *value + "'"};
      }
      if (name == "--min") {
        options.conversion.min = *number;
      } else {
        options.conversion.keep = *number;
      }
    }
  }
  if (options.show_help || options.show_version) return {options, ""};
  if (positional.size() != 2) {
    return {std::nullopt, positional.size() < 2 ? "INPUT and OUTPUT are required" : "too many arguments"};
  }
  options.input = positional[0];
  options.output = positional[1];
  return {options, ""};
}

}  // namespace ondravane::cli
