#include "converter/check/line_survey.h"

#include "converter/input/line_source.h"
#include "converter/json/utf8.h"

namespace ondravane {

void survey_line(LineParser& parser, std::string_view raw, SurveyedLine& surveyed) {
  surveyed.accepted = parser.survey(without_terminator(raw), surveyed.shape);
  if (surveyed.accepted) return;
  surveyed.invalid_utf8_at = first_invalid_utf8(raw);
  surveyed.not_utf8 = surveyed.invalid_utf8_at != raw.size();
  if (!surveyed.not_utf8) surveyed.rejection = parser.rejection();
}

}  // namespace ondravane
