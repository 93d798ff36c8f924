// "ondravane-converter check INPUT": the check of an activation file,
// reported on standard output as text for people or as one JSON document for
// scripts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "converter/check.h"
#include "converter/vectors/vector_options.h"

namespace ondravane::cli {

struct CheckOptions {
  std::string input;
  bool input_is_standard_input = false;  // INPUT was "-"
  std::size_t max_problems = 20;
  bool json = false;
  bool show_help = false;
  unsigned jobs = 1;  // worker threads; the parser sets the processors available
  VectorOptions vectors;  // of the conversion checked for
};

struct CheckParseResult {
  std::optional<CheckOptions> options;
  std::string error;
};

// The arguments after "check": INPUT ("-" for standard input),
// --max-problems N (or =N), --json, --help or -h, --jobs N, the
// conversion's --layer, --layers, --combine, --per-type and --format, and
// "--" after which every argument is a path. Each option may be given once.
CheckParseResult parse_check_options(const std::vector<std::string>& arguments);

// The report as text: one line per listed problem in the form
// "PATH:LINE:COLUMN: reason" (both counted from 1, the column in bytes),
// then the summary, the warnings and the verdict.
std::string format_check_text(const std::string& path, const CheckReport& report,
                              const VectorOptions& vectors = {});

// The same report as one JSON document, ended by a line feed.
std::string format_check_json(const std::string& path, const CheckReport& report);

// 0 when the conversion would write every record, 1 otherwise.
int check_exit_status(const CheckReport& report);

}  // namespace ondravane::cli
