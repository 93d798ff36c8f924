// The report of a check as lines are taken into it, in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "converter/check/check_report.h"
#include "converter/check/line_survey.h"
#include "converter/line/line_parser.h"
#include "converter/line/line_shape.h"
#include "converter/tokens/text_hash.h"
#include "converter/vectors/vector_options.h"

namespace ondravane {

class SeenNumbers;

class FileCheck {
 public:
  // Checks for the conversion that writes `vectors`.
  FileCheck(CheckReport& report, std::size_t max_problems, const VectorOptions& vectors = {});
  ~FileCheck();

  // Takes the next line of the file, surveyed.
  void take(const SurveyedLine& surveyed);

 private:
  void occurrence(const OccurrenceShape& occurrence, const std::size_t* chosen_lengths, std::uint64_t number);
  // The length of the vector written for the occurrence, or nothing when
  // writing fails there (noted as a problem).
  bool written_length(const OccurrenceShape& occurrence, const std::size_t* chosen_lengths, std::uint64_t number,
                      std::size_t& length);
  // With one vector a type: whether the occurrence's vector has its type's
  // length (noted as a problem when not).
  bool fits_its_type(const OccurrenceShape& occurrence, std::size_t length, std::uint64_t number);
  void token(std::string_view token, std::uint64_t number);
  void stop(CheckProblem problem);
  void fail_writing(CheckProblem problem);
  void add(CheckProblem problem);

  CheckReport& report_;
  std::size_t max_problems_;
  VectorOptions vectors_;
  std::unique_ptr<SeenNumbers> seen_sentences_;
  std::string cleaned_;
  // With one vector a type: each type's first length and line.
  std::unordered_map<std::string, std::pair<std::size_t, std::uint64_t>, TextHash, std::equal_to<>> types_;
};

}  // namespace ondravane
