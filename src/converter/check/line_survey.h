// What the check needs of one line, surveyed on its own (on any thread)
// before it is taken into the report in file order.
#pragma once

#include <cstddef>
#include <string_view>

#include "converter/json/rejection.h"
#include "converter/line/line_parser.h"
#include "converter/line/line_shape.h"

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

}  // namespace ondravane
