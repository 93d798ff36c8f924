// Command-line options of the converter, parsed without any library.
#pragma once

#include <cstdint>
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

// Accepted forms: INPUT OUTPUT in any position, "--min N" or "--min=N" (same
// for --keep and --seed; N may start with a minus sign), --help or -h,
// --version, and "--" after which every argument is positional. Each option
// may be given once.
ParseResult parse_options(const std::vector<std::string>& arguments);

// A decimal integer: an optional sign and at least one digit, nothing else
// (no blanks, no underscores, no base prefix). Returns the value when it lies
// in the range of the target type, the same values the Python parameters take:
// signed 64-bit for min and keep, unsigned 64-bit for seed ("-0" is 0).
std::optional<std::int64_t> parse_int64(const std::string& text);
std::optional<std::uint64_t> parse_uint64(const std::string& text);

}  // namespace ondravane::cli
