#include "converter/check.h"

#include <fcntl.h>

#include <memory>

#include "converter/check_lines.h"
#include "converter/line_parser.h"
#include "converter/line_source.h"
#include "converter/token_markers.h"
#include "converter/utf8.h"
#include "support/file_io.h"

namespace ondravane {

// Which sentence numbers were seen: one bit per number, in pages of 2^16
// numbers allocated when a number of their range first appears, so the
// usual numbering from 0 takes a bit per sentence.
class SeenNumbers {
 public:
  // Marks `number` and tells whether it was marked already.
  bool mark(std::uint32_t number) {
    const std::uint32_t page = number >> kPageBits;
    if (page >= pages_.size()) pages_.resize(page + 1);
    auto& bits = pages_[page];
    if (!bits) bits = std::make_unique<std::uint64_t[]>(kWordsPerPage);  // zeroed
    const std::uint32_t bit = number & ((1u << kPageBits) - 1);
    std::uint64_t& word = bits[bit / 64];
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    const bool seen = (word & mask) != 0;
    word |= mask;
    return seen;
  }

 private:
  static constexpr unsigned kPageBits = 16;
  static constexpr std::size_t kWordsPerPage = (std::size_t{1} << kPageBits) / 64;
  std::vector<std::unique_ptr<std::uint64_t[]>> pages_;
};

namespace {

constexpr std::string_view kPieceMark = "##";
constexpr std::string_view kSpaceMark = "\xC4\xA0";

}  // namespace

void survey_line(LineParser& parser, std::string_view raw, SurveyedLine& surveyed) {
  surveyed.accepted = parser.survey(without_terminator(raw), surveyed.shape);
  if (surveyed.accepted) return;
  surveyed.invalid_utf8_at = first_invalid_utf8(raw);
  surveyed.not_utf8 = surveyed.invalid_utf8_at != raw.size();
  if (!surveyed.not_utf8) surveyed.rejection = parser.rejection();
}

FileCheck::FileCheck(CheckReport& report, std::size_t max_problems)
    : report_(report), max_problems_(max_problems), seen_sentences_(std::make_unique<SeenNumbers>()) {}

FileCheck::~FileCheck() = default;

void FileCheck::line(std::string_view raw) {
  survey_line(parser_, raw, surveyed_);
  take(surveyed_);
}

void FileCheck::take(const SurveyedLine& surveyed) {
  const std::uint64_t number = ++report_.lines;
  if (!surveyed.accepted) {
    // As in the reader: a rejected line that is not UTF-8 is a failure of
    // its own, reported at its first malformed byte.
    if (surveyed.not_utf8) {
      stop(CheckProblem{CheckProblem::Kind::kNotUtf8, number, surveyed.invalid_utf8_at,
                        "not UTF-8 (the conversion fails here: stream did not contain valid UTF-8)"});
    } else {
      stop(CheckProblem{CheckProblem::Kind::kRejected, number, surveyed.rejection.column,
                        surveyed.rejection.reason});
    }
    return;
  }
  ++report_.sentences;
  if (seen_sentences_->mark(surveyed.shape.linex_index)) report_.warnings.repeated_sentence.note(number);
  for (const OccurrenceShape& occurrence : surveyed.shape.occurrences) this->occurrence(occurrence, number);
}

void FileCheck::occurrence(const OccurrenceShape& occurrence, std::uint64_t number) {
  const bool first = report_.occurrences++ == 0;
  report_.layers_per_occurrence.note(occurrence.layer_count, number);
  token(occurrence.token, number);
  if (occurrence.layer_count == 0) {
    add(CheckProblem{CheckProblem::Kind::kNoLayers, number, occurrence.column,
                     "a feature without layers (writing fails here: index out of bounds)"});
    return;
  }
  const std::size_t length = occurrence.first_layer_length;
  report_.first_layer_lengths.note(length, number);
  if (first) {
    report_.header_length = length;
  } else if (report_.header_length && length != *report_.header_length) {
    report_.warnings.length_differs.note(number);
  }
}

void FileCheck::token(std::string_view token, std::uint64_t number) {
  CheckWarnings& warnings = report_.warnings;
  if (token.find_first_of(" \t\v\f") != std::string_view::npos) warnings.token_with_space.note(number);
  if (token.find_first_of("\n\r") != std::string_view::npos) warnings.token_with_line_break.note(number);
  if (token.empty()) {
    warnings.empty_token.note(number);
  } else if (token.find(kPieceMark) != std::string_view::npos || token.find(kSpaceMark) != std::string_view::npos) {
    cleaned_.assign(token);
    remove_token_markers(cleaned_);
    if (cleaned_.empty()) {
      warnings.empty_token.note(number);
    } else if (markers_join_pieces(token)) {
      warnings.joined_token.note(number);
    }
  }
}

void FileCheck::stop(CheckProblem problem) {
  if (!report_.reading_stops) report_.reading_stops = problem;
  add(std::move(problem));
}

void FileCheck::add(CheckProblem problem) {
  if (report_.problems.size() < max_problems_) report_.problems.push_back(std::move(problem));
  ++report_.problem_count;
}

void DistinctCounts::note(std::size_t value, std::uint64_t line) {
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

CheckReport check_file(std::string_view path, std::size_t max_problems, unsigned jobs,
                       std::size_t chunk_bytes) {
  const UniqueFd file = open_or_fail(std::string(path), O_RDONLY | O_CLOEXEC);
  if (jobs > 1) return check_in_parallel(file.get(), max_problems, jobs, chunk_bytes);
  LineSource lines(file.get());
  CheckReport report;
  FileCheck check(report, max_problems);
  while (std::optional<std::string_view> raw = lines.next_line()) check.line(*raw);
  return report;
}

}  // namespace ondravane
