// The report of a check as lines are taken into it, in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "converter/check/check_report.h"
#include "converter/check/line_survey.h"
#include "converter/line/line_parser.h"
#include "converter/line/line_shape.h"

namespace ondravane {

class SeenNumbers;

class FileCheck {
 public:
  FileCheck(CheckReport& report, std::size_t max_problems);
  ~FileCheck();

  // Takes the next line of the file, surveyed.
  void take(const SurveyedLine& surveyed);

 private:
  void occurrence(const OccurrenceShape& occurrence, std::uint64_t number);
  void token(std::string_view token, std::uint64_t number);
  void stop(CheckProblem problem);
  void add(CheckProblem problem);

  CheckReport& report_;
  std::size_t max_problems_;
  std::unique_ptr<SeenNumbers> seen_sentences_;
  std::string cleaned_;
};

}  // namespace ondravane
