// The check of a file line by line: each line surveyed on its own (on any
// thread), then taken into the report in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "converter/check.h"
#include "converter/json_cursor.h"
#include "converter/line_parser.h"

namespace ondravane {

// What the check needs of one line, terminator included.
struct SurveyedLine {
  bool accepted = false;
  LineShape shape;  // when accepted
  // When rejected: whether the line is not UTF-8 and where its first bad byte
  // is, or else why the grammar rejected it.
  bool not_utf8 = false;
  std::size_t invalid_utf8_at = 0;
  Rejection rejection;
};

void survey_line(LineParser& parser, std::string_view raw, SurveyedLine& surveyed);

class SeenNumbers;

// The report as lines are taken in file order.
class FileCheck {
 public:
  FileCheck(CheckReport& report, std::size_t max_problems);
  ~FileCheck();

  // Surveys `raw` and takes it.
  void line(std::string_view raw);
  // Takes the next line of the file, surveyed.
  void take(const SurveyedLine& surveyed);

 private:
  void occurrence(const OccurrenceShape& occurrence, std::uint64_t number);
  void token(std::string_view token, std::uint64_t number);
  void stop(CheckProblem problem);
  void add(CheckProblem problem);

  CheckReport& report_;
  std::size_t max_problems_;
  LineParser parser_;
  SurveyedLine surveyed_;
  std::unique_ptr<SeenNumbers> seen_sentences_;
  std::string cleaned_;
};

// check_file's reading with `jobs` worker threads (at least 2) of `fd`.
CheckReport check_in_parallel(int fd, std::size_t max_problems, unsigned jobs, std::size_t chunk_bytes);

}  // namespace ondravane
