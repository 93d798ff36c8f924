// Surveying lines for the check: each line walked by the conversion's own
// grammar, storing its shape or why it was rejected.
#include "converter/check/line_survey.h"

#include "converter/json/utf8.h"
#include "converter/workers/chunk_loop.h"
#include "converter/workers/chunk_size.h"

namespace ondravane {

void survey_line(LineParser& parser, std::string_view raw, SurveyedLine& surveyed, const LayerChoice& layers) {
  surveyed.accepted = parser.survey(without_terminator(raw), surveyed.shape, layers);
  if (surveyed.accepted) return;
  surveyed.invalid_utf8_at = first_invalid_utf8(raw);
  surveyed.not_utf8 = surveyed.invalid_utf8_at != raw.size();
  if (!surveyed.not_utf8) surveyed.rejection = parser.rejection();
}

void SurveyLines::operator()(SurveyChunk& chunk, const WorkShift& shift) const {
  load_lines(chunk.text, shift);
  chunk.count = 0;
  std::size_t results = 0;
  const std::string_view text = chunk.text.lines();
  while (chunk.worked < text.size() && results < kResultBytesPerChunk) {
    if (shift.stopping()) return;
    if (chunk.count == chunk.lines.size()) chunk.lines.emplace_back();
    SurveyedLine& surveyed = chunk.lines[chunk.count++];
    const std::string_view raw = line_at(text, chunk.worked);
    survey_line(chunk.parser, raw, surveyed, *layers);
    chunk.worked += raw.size();
    results += sizeof(SurveyedLine);
    if (!surveyed.accepted) continue;
    results += surveyed.shape.chosen_lengths.size() * sizeof(std::size_t);
    for (const OccurrenceShape& occurrence : surveyed.shape.occurrences) {
      results += sizeof(OccurrenceShape) + occurrence.token.size();
    }
  }
}

}  // namespace ondravane
