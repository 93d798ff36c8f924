// Taking surveyed lines into the check's report in file order: problems,
// the summary of the file's shape, and the warnings.
#include "converter/check/file_check.h"

#include <memory>

#include "converter/check/seen_numbers.h"
#include "converter/tokens/token_marks.h"

namespace ondravane {

FileCheck::FileCheck(CheckReport& report, std::size_t max_problems, const VectorOptions& vectors)
    : report_(report),
      max_problems_(max_problems),
      vectors_(vectors),
      seen_sentences_(std::make_unique<SeenNumbers>()) {}

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
  const std::size_t chosen = vectors_.recipe.layers.by_index() ? vectors_.recipe.layers.count() : 0;
  for (std::size_t k = 0; k < surveyed.shape.occurrences.size(); ++k) {
    occurrence(surveyed.shape.occurrences[k], chosen ? &surveyed.shape.chosen_lengths[k * chosen] : nullptr, number);
  }
}

void FileCheck::occurrence(const OccurrenceShape& occurrence, const std::size_t* chosen_lengths,
                           std::uint64_t number) {
  const bool first = report_.occurrences++ == 0;
  report_.layers_per_occurrence.note(occurrence.layer_count, number);
  token(occurrence.token, number);
  std::size_t length = 0;
  if (!written_length(occurrence, chosen_lengths, number, length)) return;
  report_.first_layer_lengths.note(length, number);
  if (vectors_.per_type && !fits_its_type(occurrence, length, number)) return;
  if (first) {
    report_.header_length = length;
  } else if (report_.header_length && length != *report_.header_length) {
    if (vectors_.format == VectorFormat::kBinary) {
      fail_writing(CheckProblem{CheckProblem::Kind::kVectorLength, number, occurrence.column,
                                "a vector of " + std::to_string(length) + " values where the header says " +
                                    std::to_string(*report_.header_length) +
                                    " (writing fails here: the binary format holds vectors of one length)"});
    } else {
      report_.warnings.length_differs.note(number);
    }
  }
}

bool FileCheck::written_length(const OccurrenceShape& occurrence, const std::size_t* chosen_lengths,
                               std::uint64_t number, std::size_t& length) {
  const VectorRecipe& recipe = vectors_.recipe;
  if (!recipe.layers.by_index()) {
    if (occurrence.layer_count == 0) {
      fail_writing(CheckProblem{CheckProblem::Kind::kNoLayers, number, occurrence.column,
                                "a feature without layers (writing fails here: index out of bounds)"});
      return false;
    }
    length = occurrence.first_layer_length;
    return true;
  }
  for (std::size_t slot = 0; slot < recipe.layers.count(); ++slot) {
    if (chosen_lengths[slot] == LineShape::kMissing) {
      fail_writing(CheckProblem{CheckProblem::Kind::kMissingLayer, number, occurrence.column,
                                "no layer with index " + std::to_string(recipe.layers.indices[slot]) +
                                    " (writing fails here)"});
      return false;
    }
  }
  length = 0;
  for (std::size_t slot = 0; slot < recipe.layers.count(); ++slot) {
    if (recipe.combine == Combine::kConcat) {
      length += chosen_lengths[slot];
    } else if (chosen_lengths[slot] != chosen_lengths[0]) {
      std::string reason = "layers of different lengths, which cannot be ";
      reason += recipe.combine == Combine::kSum ? "summed: " : "averaged: ";
      for (std::size_t k = 0; k < recipe.layers.count(); ++k) {
        reason += k == 0 ? "index " : ", index ";
        reason += std::to_string(recipe.layers.indices[k]);
        reason += " has ";
        reason += std::to_string(chosen_lengths[k]);
      }
      reason += " values (writing fails here)";
      fail_writing(CheckProblem{CheckProblem::Kind::kLayerLengths, number, occurrence.column, std::move(reason)});
      return false;
    } else {
      length = chosen_lengths[0];
    }
  }
  return true;
}

bool FileCheck::fits_its_type(const OccurrenceShape& occurrence, std::size_t length, std::uint64_t number) {
  std::string type = occurrence.token;
  remove_token_marks(type);
  const auto [found, added] = types_.try_emplace(std::move(type), length, number);
  if (added || found->second.first == length) return true;
  fail_writing(CheckProblem{CheckProblem::Kind::kTypeLength, number, occurrence.column,
                            "a vector of " + std::to_string(length) + " values where its token's first (line " +
                                std::to_string(found->second.second) + ") has " +
                                std::to_string(found->second.first) +
                                " (writing fails here: one vector a token is the mean of vectors of one length)"});
  return false;
}

void FileCheck::token(std::string_view token, std::uint64_t number) {
  CheckWarnings& warnings = report_.warnings;
  // In the binary format only a blank ends an identifier early.
  const char* const splitting = vectors_.format == VectorFormat::kBinary ? " " : " \t\v\f";
  if (token.find_first_of(splitting) != std::string_view::npos) warnings.token_with_space.note(number);
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

void FileCheck::fail_writing(CheckProblem problem) {
  if (!report_.writing_fails) report_.writing_fails = problem;
  add(std::move(problem));
}

void FileCheck::add(CheckProblem problem) {
  if (report_.problems.size() < max_problems_) report_.problems.push_back(std::move(problem));
  ++report_.problem_count;
}

}  // namespace ondravane
