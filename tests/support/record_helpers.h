// The record operations tests and fuzzers call by text or by path, built on
// the line grammar the program runs and the conversion in memory that its
// readings are checked against.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "converter/input/input_file.h"
#include "converter/line/line_parser.h"
#include "converter/records.h"
#include "in_memory_conversion.h"

namespace ondravane {

// One line (valid UTF-8, terminator removed) parsed by a fresh parser.
inline std::optional<Activation> from_line(std::string_view line,
                                           LayerRetention retention = LayerRetention::kAll) {
  LineParser parser;
  return parser.from_line(line, retention, LineParser::StringUtf8::kUnchecked);
}

// A line parsed without the check of its strings' UTF-8.
inline std::optional<Activation> parse_unchecked(LineParser& parser, std::string_view line,
                                                 LayerRetention retention,
                                                 const LayerChoice& layers = kFirstLayer) {
  return parser.from_line(line, retention, LineParser::StringUtf8::kUnchecked, layers);
}

// Every record of the file at `path`, as the in-memory conversion reads it.
inline ActivationList records_of_file(std::string_view path) {
  InputFile file(path);
  return read_records(file).records;
}

// The filter's selection over a copy of `activations`, leaving them as they are.
inline ActivationList filter_copy(std::span<const Activation> activations, std::int64_t min,
                                  std::int64_t keep, std::uint64_t seed) {
  return filter(ActivationList(activations.begin(), activations.end()), min, keep, seed);
}

}  // namespace ondravane
