// Command-line options: decimal numbers with their exact ranges, the
// argument scanner every command shares, and the conversion's options.
#include "cli/options.h"

#include <sched.h>

#include <algorithm>
#include <limits>
#include <thread>
#include <string_view>

namespace ondravane::cli {

namespace {

struct Decimal {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

// Reads an optional sign and decimal digits; nothing when the text has any
// other form or its magnitude does not fit in 64 bits (leading zeros are fine).
std::optional<Decimal> parse_decimal(std::string_view text) {
  Decimal result;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    result.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (result.magnitude > (kMax - digit) / 10) return std::nullopt;
    result.magnitude = result.magnitude * 10 + digit;
  }
  return result;
}

std::string range_error(std::string_view name, std::string_view low, std::string_view high,
                        std::string_view value) {
  return std::string(name) + " takes an integer from " + std::string(low) + " to " + std::string(high) +
         ", not '" + std::string(value) + "'";
}

}  // namespace

std::optional<std::int64_t> parse_int64(const std::string& text) {
  const auto decimal = parse_decimal(text);
  if (!decimal) return std::nullopt;
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  if (decimal->negative) {
    if (decimal->magnitude > kLimit) return std::nullopt;
    if (decimal->magnitude == kLimit) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(decimal->magnitude);
  }
  if (decimal->magnitude >= kLimit) return std::nullopt;
  return static_cast<std::int64_t>(decimal->magnitude);
}

std::optional<std::uint64_t> parse_uint64(const std::string& text) {
  const auto decimal = parse_decimal(text);
  if (!decimal) return std::nullopt;
  if (decimal->negative && decimal->magnitude != 0) return std::nullopt;
  return decimal->magnitude;
}

bool ArgumentScanner::next() {
  for (;;) {
    if (started_) ++index_;
    started_ = true;
    if (index_ >= arguments_.size()) return false;
    const std::string& argument = arguments_[index_];
    positional_ = only_positional_ || argument.size() < 2 || argument[0] != '-';
    if (positional_) return true;
    if (argument == "--") {
      only_positional_ = true;
      continue;
    }
    name_ = argument;
    value_.reset();
    if (auto equals = argument.find('='); equals != std::string::npos && argument.starts_with("--")) {
      name_ = argument.substr(0, equals);
      value_ = argument.substr(equals + 1);
    }
    return true;
  }
}

std::optional<std::string> ArgumentScanner::take_value() {
  if (value_) return value_;
  if (index_ + 1 >= arguments_.size()) return std::nullopt;
  return arguments_[++index_];
}

std::string take_jobs(ArgumentScanner& scan, bool& seen, unsigned& jobs) {
  if (seen) return "option '--jobs' given more than once";
  seen = true;
  const std::optional<std::string> value = scan.take_value();
  if (!value) return "option '" + scan.name() + "' needs a value";
  const std::optional<std::int64_t> number = parse_int64(*value);
  if (!number || *number < 1 || *number > kMaxJobs) {
    return range_error("--jobs", "1", std::to_string(kMaxJobs), *value);
  }
  jobs = static_cast<unsigned>(*number);
  return "";
}

unsigned available_processors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(std::min<std::int64_t>(count, kMaxJobs));
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : std::min<unsigned>(hardware, kMaxJobs);
}

namespace {

constexpr char kIndexRange[] = "an integer from -4294967295 to 4294967295";

std::optional<std::int64_t> parse_layer_index(const std::string& text) {
  const std::optional<std::int64_t> index = parse_int64(text);
  if (!index || *index < kLowestLayerIndex || *index > kHighestLayerIndex) return std::nullopt;
  return index;
}

}  // namespace

bool VectorOptionScanner::is_vector_option(const std::string& name) {
  return name == "--layer" || name == "--layers" || name == "--combine" || name == "--per-type" ||
         name == "--format";
}

std::string VectorOptionScanner::take(ArgumentScanner& scan, VectorOptions& vectors) {
  const std::string& name = scan.name();
  bool& seen = name == "--layer"     ? seen_layer_
               : name == "--layers"  ? seen_layers_
               : name == "--combine" ? seen_combine_
               : name == "--format"  ? seen_format_
                                     : seen_per_type_;
  if (seen) return "option '" + name + "' given more than once";
  seen = true;
  if (name == "--per-type") {
    if (scan.value()) return "option '--per-type' takes no value";
    vectors.per_type = true;
    return "";
  }
  const std::optional<std::string> value = scan.take_value();
  if (!value) return "option '" + name + "' needs a value";
  if (name == "--layer") {
    const std::optional<std::int64_t> index = parse_layer_index(*value);
    if (!index) return "--layer takes " + std::string(kIndexRange) + ", not '" + *value + "'";
    vectors.recipe.layers.indices = {*index};
  } else if (name == "--layers") {
    std::vector<std::int64_t> indices;
    for (std::size_t start = 0;;) {
      const std::size_t comma = std::min(value->find(',', start), value->size());
      const std::optional<std::int64_t> index = parse_layer_index(value->substr(start, comma - start));
      if (!index) {
        return "--layers takes " + std::string(kIndexRange) + " or several separated by commas, not '" + *value + "'";
      }
      indices.push_back(*index);
      if (comma == value->size()) break;
      start = comma + 1;
    }
    vectors.recipe.layers.indices = std::move(indices);
  } else if (name == "--combine") {
    if (*value == "mean") {
      vectors.recipe.combine = Combine::kMean;
    } else if (*value == "sum") {
      vectors.recipe.combine = Combine::kSum;
    } else if (*value == "concat") {
      vectors.recipe.combine = Combine::kConcat;
    } else {
      return "--combine takes mean, sum or concat, not '" + *value + "'";
    }
  } else if (*value == "text" || *value == "binary") {
    vectors.format = *value == "text" ? VectorFormat::kText : VectorFormat::kBinary;
  } else {
    return "--format takes text or binary, not '" + *value + "'";
  }
  return "";
}

std::string VectorOptionScanner::finish() const {
  if (seen_layer_ && seen_layers_) return "options '--layer' and '--layers' exclude each other";
  if (seen_combine_ && !seen_layers_) return "option '--combine' needs '--layers'";
  return "";
}

ParseResult parse_options(const std::vector<std::string>& arguments) {
  Options options;
  std::vector<std::string> positional;
  bool first_is_standard_input = false;
  bool seen_min = false, seen_keep = false, seen_seed = false, seen_jobs = false;
  VectorOptionScanner vector_options;
  options.conversion.jobs = available_processors();
  ArgumentScanner scan(arguments);
  while (scan.next()) {
    if (scan.positional()) {
      if (positional.empty()) first_is_standard_input = scan.standard_input();
      positional.push_back(scan.text());
      continue;
    }
    const std::string& name = scan.name();
    if (name == "--help" || name == "-h" || name == "--version") {
      if (scan.value()) return {std::nullopt, "option '" + name + "' takes no value"};
      (name == "--version" ? options.show_version : options.show_help) = true;
      continue;
    }
    if (is_jobs_option(name)) {
      std::string error = take_jobs(scan, seen_jobs, options.conversion.jobs);
      if (!error.empty()) return {std::nullopt, error};
      continue;
    }
    if (VectorOptionScanner::is_vector_option(name)) {
      std::string error = vector_options.take(scan, options.conversion.vectors);
      if (!error.empty()) return {std::nullopt, error};
      continue;
    }
    bool* seen = name == "--min" ? &seen_min : name == "--keep" ? &seen_keep : name == "--seed" ? &seen_seed : nullptr;
    if (seen == nullptr) return {std::nullopt, "unknown option '" + name + "'"};
    if (*seen) return {std::nullopt, "option '" + name + "' given more than once"};
    *seen = true;
    const std::optional<std::string> value = scan.take_value();
    if (!value) return {std::nullopt, "option '" + name + "' needs a value"};
    if (name == "--seed") {
      auto seed = parse_uint64(*value);
      if (!seed) return {std::nullopt, range_error(name, "0", "18446744073709551615", *value)};
      options.conversion.seed = *seed;
    } else {
      auto number = parse_int64(*value);
      if (!number) {
        return {std::nullopt, range_error(name, "-9223372036854775808", "9223372036854775807", *value)};
      }
      if (name == "--min") {
        options.conversion.min = *number;
      } else {
        options.conversion.keep = *number;
      }
    }
  }
  if (options.show_help || options.show_version) return {options, ""};
  if (std::string error = vector_options.finish(); !error.empty()) return {std::nullopt, error};
  if (positional.size() != 2) {
    if (positional.size() > 2) return {std::nullopt, "too many arguments: expected INPUT and OUTPUT only"};
    return {std::nullopt, positional.empty() ? "the arguments INPUT and OUTPUT are required"
                                             : "the argument OUTPUT is required"};
  }
  options.input = positional[0];
  options.input_is_standard_input = first_is_standard_input;
  options.output = positional[1];
  return {options, ""};
}

}  // namespace ondravane::cli
