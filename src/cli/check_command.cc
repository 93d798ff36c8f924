// The check command's reports: the text one a person reads and the JSON one
// scripts read, and the exit status they imply.
#include "cli/check_command.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "cli/options.h"
#include "converter/json/utf8.h"

namespace ondravane::cli {

namespace {

std::string plural(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

const char* kind_name(CheckProblem::Kind kind) {
  switch (kind) {
    case CheckProblem::Kind::kNotUtf8: return "not-utf8";
    case CheckProblem::Kind::kRejected: return "rejected";
    case CheckProblem::Kind::kNoLayers: return "no-layers";
    case CheckProblem::Kind::kMissingLayer: return "missing-layer";
    case CheckProblem::Kind::kLayerLengths: return "layer-lengths";
    case CheckProblem::Kind::kVectorLength: return "vector-length";
    case CheckProblem::Kind::kTypeLength: return "type-length";
  }
  return "rejected";
}

// What each warning means for the output, in the order they are reported.
struct WarningText {
  const char* key;  // in the JSON document
  Tally CheckWarnings::*tally;
  const char* one;
  const char* many;
  const char* effect;
  const char* binary_effect = nullptr;  // in the binary format, when it differs
};

constexpr WarningText kWarnings[] = {
    {"token_with_space", &CheckWarnings::token_with_space, "token holds", "tokens hold",
     "a blank or tab, which splits its output line for loaders",
     "a blank, which loaders of the binary format take for the end of its identifier"},
    {"token_with_line_break", &CheckWarnings::token_with_line_break, "token holds", "tokens hold",
     "a line break (LF or CR), which breaks its output line in two",
     "a line break (LF or CR), which loaders of the binary format may drop from its identifier"},
    {"length_differs", &CheckWarnings::length_differs, "first layer differs", "first layers differ",
     "in length from the header's, which loaders that trust the header reject"},
    {"repeated_sentence", &CheckWarnings::repeated_sentence, "line repeats", "lines repeat",
     "a sentence number of an earlier line, so identifiers repeat and loaders keep one"},
    {"empty_token", &CheckWarnings::empty_token, "token is", "tokens are",
     "empty as written or once the marks ## and \xC4\xA0 are removed (identifiers start with ':')"},
    {"joined_token", &CheckWarnings::joined_token, "token joins", "tokens join",
     "the text on both sides of a ## or \xC4\xA0 mark when it is removed (a##b becomes ab)"},
};

std::string distinct_text(const DistinctCounts& counts) {
  std::string text;
  for (const DistinctCounts::Entry& entry : counts.entries) {
    if (!text.empty()) text += ", ";
    text += std::to_string(entry.value) + " (" + plural(entry.seen.count, "occurrence", "occurrences");
    if (&entry != &counts.entries.front()) text += ", first on line " + std::to_string(entry.seen.first_line);
    text += ")";
  }
  if (counts.others.count != 0) {
    text += ", other values (" + plural(counts.others.count, "occurrence", "occurrences") +
            ", first on line " + std::to_string(counts.others.first_line) + ")";
  }
  return text.empty() ? "none" : text;
}

// A JSON string of `text`; bytes that are not UTF-8 (a path can hold any)
// become U+FFFD.
std::string json_string(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const std::size_t valid = first_invalid_utf8(text);
    for (char c : text.substr(0, valid)) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (byte < 0x20) {
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
      } else {
        out += c;
      }
    }
    if (valid == text.size()) break;
    out += "\xEF\xBF\xBD";
    text.remove_prefix(valid + 1);
  }
  return out + "\"";
}

std::string json_tally(const Tally& tally) {
  return "{\"count\": " + std::to_string(tally.count) + ", \"first_line\": " +
         (tally.count ? std::to_string(tally.first_line) : "null") + "}";
}

std::string json_distinct(const DistinctCounts& counts) {
  std::string out = "[";
  for (const DistinctCounts::Entry& entry : counts.entries) {
    if (out.size() > 1) out += ", ";
    out += "{\"value\": " + std::to_string(entry.value) + ", \"count\": " + std::to_string(entry.seen.count) +
           ", \"first_line\": " + std::to_string(entry.seen.first_line) + "}";
  }
  return out + "]";
}

std::string verdict(const CheckReport& report) {
  if (report.problem_count == 0) return "the conversion writes every record";
  if (report.reading_stops) {
    const CheckProblem& stop = *report.reading_stops;
    if (stop.kind == CheckProblem::Kind::kNotUtf8) {
      return "the conversion fails at line " + std::to_string(stop.line) + " (not UTF-8)";
    }
    return "the conversion stops at line " + std::to_string(stop.line) + " and writes no record";
  }
  if (report.writing_fails && report.writing_fails->kind != CheckProblem::Kind::kNoLayers) {
    return "the conversion fails while writing, at line " + std::to_string(report.writing_fails->line);
  }
  return "the conversion fails while writing, at the first feature without layers";
}

const char* effect_of(const WarningText& warning, const VectorOptions& vectors) {
  const bool binary = vectors.format == VectorFormat::kBinary;
  return binary && warning.binary_effect != nullptr ? warning.binary_effect : warning.effect;
}

}  // namespace

CheckParseResult parse_check_options(const std::vector<std::string>& arguments) {
  CheckOptions options;
  std::vector<std::string> positional;
  bool seen_json = false;
  bool seen_max = false;
  bool seen_jobs = false;
  VectorOptionScanner vector_options;
  options.jobs = available_processors();
  ArgumentScanner scan(arguments);
  while (scan.next()) {
    if (scan.positional()) {
      if (positional.empty()) options.input_is_standard_input = scan.standard_input();
      positional.push_back(scan.text());
      continue;
    }
    const std::string& name = scan.name();
    if (name == "--help" || name == "-h" || name == "--json") {
      if (scan.value()) return {std::nullopt, "option '" + name + "' takes no value"};
      if (name != "--json") {
        options.show_help = true;
        continue;
      }
      if (seen_json) return {std::nullopt, "option '--json' given more than once"};
      seen_json = options.json = true;
      continue;
    }
    if (is_jobs_option(name)) {
      std::string error = take_jobs(scan, seen_jobs, options.jobs);
      if (!error.empty()) return {std::nullopt, error};
      continue;
    }
    if (VectorOptionScanner::is_vector_option(name)) {
      std::string error = vector_options.take(scan, options.vectors);
      if (!error.empty()) return {std::nullopt, error};
      continue;
    }
    if (name != "--max-problems") return {std::nullopt, "unknown option '" + name + "'"};
    if (seen_max) return {std::nullopt, "option '--max-problems' given more than once"};
    seen_max = true;
    const std::optional<std::string> value = scan.take_value();
    if (!value) return {std::nullopt, "option '--max-problems' needs a value"};
    const std::optional<std::uint64_t> number = parse_uint64(*value);
    if (!number) {
      return {std::nullopt, "--max-problems takes an integer from 0 to 18446744073709551615, not '" + *value + "'"};
    }
    // Beyond what memory could hold anyway; a 32-bit size must not wrap.
    options.max_problems = static_cast<std::size_t>(std::min<std::uint64_t>(*number, SIZE_MAX));
  }
  if (options.show_help) return {options, ""};
  if (std::string error = vector_options.finish(); !error.empty()) return {std::nullopt, error};
  if (positional.size() != 1) {
    return {std::nullopt, positional.empty() ? "check needs the argument INPUT"
                                             : "too many arguments: check takes INPUT only"};
  }
  options.input = positional[0];
  return {options, ""};
}

std::string format_check_text(const std::string& path, const CheckReport& report, const VectorOptions& vectors) {
  std::string text;
  for (const CheckProblem& problem : report.problems) {
    text += path + ":" + std::to_string(problem.line) + ":" + std::to_string(problem.column + 1) + ": " +
            problem.reason + "\n";
  }
  if (report.problem_count > report.problems.size()) {
    text += "... " + plural(report.problem_count - report.problems.size(), "more problem", "more problems") +
            " not listed (--max-problems)\n";
  }
  text += "summary: " + plural(report.lines, "line", "lines") + ", " + std::to_string(report.sentences) +
          " accepted (sentences), holding " + plural(report.occurrences, "occurrence", "occurrences") + "\n";
  text += "  layers per occurrence: " + distinct_text(report.layers_per_occurrence) + "\n";
  text += std::string(vectors.recipe.layers.by_index() ? "  vector lengths: " : "  first-layer lengths: ") +
          distinct_text(report.first_layer_lengths) + "\n";
  text += "  header length: " + (report.header_length ? std::to_string(*report.header_length) : "0") + "\n";
  for (const WarningText& warning : kWarnings) {
    const Tally& tally = report.warnings.*warning.tally;
    if (tally.count == 0) continue;
    text += "warning: " + std::to_string(tally.count) + " " + (tally.count == 1 ? warning.one : warning.many) +
            " " + effect_of(warning, vectors) + "; first on line " + std::to_string(tally.first_line) + "\n";
  }
  text += "result: " + plural(report.problem_count, "problem", "problems") + "; " + verdict(report) + "\n";
  return text;
}

std::string format_check_json(const std::string& path, const CheckReport& report) {
  std::string out = "{\"input\": " + json_string(path) + ", \"ok\": " +
                    (report.problem_count == 0 ? "true" : "false") + ",\n \"problems\": [";
  for (const CheckProblem& problem : report.problems) {
    if (&problem != &report.problems.front()) out += ",";
    out += "\n  {\"line\": " + std::to_string(problem.line) + ", \"column\": " + std::to_string(problem.column + 1) +
           ", \"kind\": \"" + kind_name(problem.kind) + "\", \"reason\": " + json_string(problem.reason) + "}";
  }
  out += "],\n \"problem_count\": " + std::to_string(report.problem_count);
  out += ",\n \"reading_stops_at\": " +
         (report.reading_stops ? std::to_string(report.reading_stops->line) : std::string("null"));
  out += ",\n \"result\": " + json_string(verdict(report));
  out += ",\n \"lines\": " + std::to_string(report.lines) + ", \"sentences\": " + std::to_string(report.sentences) +
         ", \"occurrences\": " + std::to_string(report.occurrences);
  out += ",\n \"header_length\": " + std::to_string(report.header_length.value_or(0));
  out += ",\n \"layers_per_occurrence\": " + json_distinct(report.layers_per_occurrence) +
         ", \"other_layer_counts\": " + json_tally(report.layers_per_occurrence.others);
  out += ",\n \"first_layer_lengths\": " + json_distinct(report.first_layer_lengths) +
         ", \"other_first_layer_lengths\": " + json_tally(report.first_layer_lengths.others);
  out += ",\n \"warnings\": {";
  for (const WarningText& warning : kWarnings) {
    if (&warning != &kWarnings[0]) out += ", ";
    // Appended piece by piece: g++ 12 misreads "..." + std::string as an
    // overlapping copy (-Wrestrict).
    out += '"';
    out += warning.key;
    out += "\": ";
    out += json_tally(report.warnings.*warning.tally);
  }
  return out + "}}\n";
}

int check_exit_status(const CheckReport& report) { return report.problem_count == 0 ? 0 : 1; }

}  // namespace ondravane::cli
