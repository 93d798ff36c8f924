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
  bool input_is_standard_input = false;  // INPUT was "-"
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

// Walks command-line arguments the way every command of the converter takes
// them: "-" alone and anything not starting with "-" is positional, "--"
// makes every later argument positional, and an option may carry its value
// as "--name=value" or take the next argument. A "-" before any "--" stands
// for standard input; after it, "-" is a path like any other.
class ArgumentScanner {
 public:
  explicit ArgumentScanner(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  // Moves to the next argument other than "--"; false at the end.
  bool next();
  bool positional() const { return positional_; }
  const std::string& text() const { return arguments_[index_]; }
  // Whether the positional argument is "-" for standard input.
  bool standard_input() const { return positional_ && !only_positional_ && text() == "-"; }
  // For an option: its name, and the value written after "=" if any.
  const std::string& name() const { return name_; }
  const std::optional<std::string>& value() const { return value_; }
  // The option's value: the one after "=", or else the next argument
  // whatever it looks like (so "--min -5" gives -5); nothing when none is left.
  std::optional<std::string> take_value();

 private:
  const std::vector<std::string>& arguments_;
  std::size_t index_ = 0;
  bool started_ = false;
  bool only_positional_ = false;
  bool positional_ = false;
  std::string name_;
  std::optional<std::string> value_;
};

// The most worker threads a conversion takes.
inline constexpr std::int64_t kMaxJobs = 1024;

// "--jobs N" or "-j N", taken by every command that reads a whole file.
inline bool is_jobs_option(const std::string& name) { return name == "--jobs" || name == "-j"; }
// Takes the value of the jobs option `scan` stands on into `jobs`; returns
// what is wrong with it, or nothing (empty) when it is fine. `seen` tells
// whether the option came before.
std::string take_jobs(ArgumentScanner& scan, bool& seen, unsigned& jobs);

// The processors this process may run on (its affinity mask), at least 1 and
// at most kMaxJobs: the default number of jobs.
unsigned available_processors();

// The options that say what is written of each occurrence, which the
// conversion and the check take alike: "--layer I", "--layers I,J,...",
// "--combine mean|sum|concat" (with --layers only), "--per-type" and
// "--format text|binary". Indices run from -4294967295 to 4294967295.
class VectorOptionScanner {
 public:
  // Whether `name` is one of these options.
  static bool is_vector_option(const std::string& name);
  // Takes the option `scan` stands on into `vectors`; returns what is wrong
  // with it, or nothing (empty).
  std::string take(ArgumentScanner& scan, VectorOptions& vectors);
  // After the last argument: what is wrong with the options together.
  std::string finish() const;

 private:
  bool seen_layer_ = false;
  bool seen_layers_ = false;
  bool seen_combine_ = false;
  bool seen_per_type_ = false;
  bool seen_format_ = false;
};

// Accepted forms: INPUT OUTPUT in any position (INPUT "-" for standard
// input), "--min N" or "--min=N" (same
// for --keep and --seed; N may start with a minus sign), "--jobs N" or
// "-j N" (1 to kMaxJobs; default available_processors()), --help or -h,
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
