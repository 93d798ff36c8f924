// Taking surveyed lines into the check's report in file order: problems,
// the summary of the file's shape, and the warnings.
#include "converter/check/file_check.h"

#include <memory>

#include "converter/check/seen_numbers.h"
#include "converter/tokens/token_marks.h"

namespace ondravane {

FileCheck::FileCheck(CheckReport& report, std::size_t max_problems)
    : report_(report), max_problems_(max_problems), seen_sentences_(std::make_unique<SeenNumbers>()) {}

FileCheck::~FileCheck() = default;

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
  } else if (has_token_marks(token)) {
    cleaned_.assign(token);
    remove_token_marks(cleaned_);
    if (cleaned_.empty()) {
      warnings.empty_token.note(number);
    } else if (marks_join_pieces(token)) {
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

}  // namespace ondravane
