// What the check needs of one line, surveyed on its own (on any thread)
// before it is taken into the report in file order.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "converter/input/chunk_reader.h"
#include "converter/json/rejection.h"
#include "converter/line/line_parser.h"
#include "converter/line/line_shape.h"
#include "converter/workers/work_shift.h"

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

void survey_line(LineParser& parser, std::string_view raw, SurveyedLine& surveyed,
                 const LayerChoice& layers = kFirstLayer);

// A chunk of lines surveyed for the check.
struct SurveyChunk {
  ChunkBytes text;
  std::size_t worked = 0;  // bytes of the chunk's lines surveyed
  LineParser parser;
  // The lines of the last pass; the vector keeps its entries' buffers from
  // chunk to chunk, so only the first `count` are this pass's.
  std::vector<SurveyedLine> lines;
  std::size_t count = 0;

  // The input's buffer and the lines' records (their tokens' texts aside).
  std::size_t held_bytes() const { return text.capacity() + lines.capacity() * sizeof(SurveyedLine); }
};

// Surveys the lines of `chunk` from where the work stands, until the end or
// until the pass's results are large (files of tiny lines), with the
// lengths of the layers chosen.
struct SurveyLines {
  const LayerChoice* layers = &kFirstLayer;
  void operator()(SurveyChunk& chunk, const WorkShift& shift) const;
};

}  // namespace ondravane
