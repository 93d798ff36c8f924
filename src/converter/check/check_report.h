// The report of the check of an activation file: the problems that would
// stop or empty a conversion with where and why, a summary of the file's
// shape, and warnings for what converts but loaders of the output misread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ondravane {

// One thing that keeps the conversion from writing every record.
struct CheckProblem {
  enum class Kind {
    kNotUtf8,        // the conversion fails at this line
    kRejected,       // the conversion stops here and writes no record
    kNoLayers,       // writing fails at this occurrence
    // With the options that choose what is written, writing fails at this
    // occurrence too:
    kMissingLayer,   // it lacks a layer chosen by index
    kLayerLengths,   // its layers to average or sum differ in length
    kVectorLength,   // its vector's length is not the header's, in the binary format
    kTypeLength,     // its vector's length is not that of its token's first, for one vector a token
  };
  Kind kind = Kind::kRejected;
  std::uint64_t line = 0;   // counted from 1
  std::size_t column = 0;   // byte offset in the line, counted from 0
  std::string reason;
  friend bool operator==(const CheckProblem&, const CheckProblem&) = default;
};

// How often something was seen, and on which line first (0: never).
struct Tally {
  std::uint64_t count = 0;
  std::uint64_t first_line = 0;
  void note(std::uint64_t line) {
    if (count++ == 0) first_line = line;
  }
  friend bool operator==(const Tally&, const Tally&) = default;
};

// The distinct values of a small count (a vector length, a number of layers)
// with how often each was seen, in the order they first appeared. Only the
// first kLimit values are listed; the rest are counted together.
struct DistinctCounts {
  static constexpr std::size_t kLimit = 16;
  struct Entry {
    std::size_t value = 0;
    Tally seen;
    friend bool operator==(const Entry&, const Entry&) = default;
  };
  std::vector<Entry> entries;
  Tally others;  // occurrences of values beyond the listed ones
  void note(std::size_t value, std::uint64_t line) {
    for (Entry& entry : entries) {
      if (entry.value == value) {
        entry.seen.note(line);
        return;
      }
    }
    if (entries.size() < kLimit) {
      entries.push_back(Entry{value, {}});
      entries.back().seen.note(line);
    } else {
      others.note(line);
    }
  }
};

struct CheckWarnings {
  Tally token_with_space;       // a blank or tab splits the output line (in binary: a blank ends the identifier)
  Tally token_with_line_break;  // a LF or CR breaks the output line
  Tally length_differs;         // a first layer whose length is not the header's
  Tally repeated_sentence;      // a sentence number seen on an earlier line
  Tally empty_token;            // empty as written, or once the marks are removed
  Tally joined_token;           // removing a mark joins the text on its two sides
};

struct CheckReport {
  std::vector<CheckProblem> problems;  // the first ones, up to the limit asked for
  std::uint64_t problem_count = 0;     // all of them
  std::uint64_t lines = 0;
  std::uint64_t sentences = 0;    // accepted lines
  std::uint64_t occurrences = 0;  // over the accepted lines
  // The vector length the output's header would state: the first layer of
  // the first occurrence of the file, when there is one and it has a layer.
  std::optional<std::size_t> header_length;
  DistinctCounts layers_per_occurrence;
  // Of the occurrences that have a layer: the first layer's length, or with
  // layers chosen by index, the length of the vector written.
  DistinctCounts first_layer_lengths;
  CheckWarnings warnings;
  // The line where the conversion's reading stops: the first line that is
  // rejected or not UTF-8, whatever the limit on listed problems.
  std::optional<CheckProblem> reading_stops;
  // The first occurrence the conversion fails to write, if its reading
  // gets there.
  std::optional<CheckProblem> writing_fails;
};

}  // namespace ondravane
