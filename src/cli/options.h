// Command-line options of the converter, parsed without any library.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "converter/pipeline.h"

namespace ondravane::cli {

struct Options {
  std::string input;
  std::string output;
  ConversionOptions conversion;
  bool show_help = false;
  bool show_version = false;
};

// The options, or a message saying what is wrong with the arguments.
struct ParseResult {
  std::optional<Options> options;
  std::string error;
};

ParseResult parse_options(const std::vector<std::string>& arguments);

// Exactly the integers a Python int argument converts to: optional sign,
// decimal digits, within range.
std::optional<std::int64_t> parse_int64(const std::string& text);
std::optional<std::uint64_t> parse_uint64(const std::string& text);

}  // namespace ondravane::cli
