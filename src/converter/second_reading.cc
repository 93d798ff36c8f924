#include "converter/second_reading.h"

#include <optional>
#include <string>
#include <vector>

#include "converter/line_parser.h"
#include "converter/line_source.h"
#include "converter/reader.h"
#include "converter/writer.h"
#include "progress/progress_bar.h"

namespace ondravane {

void write_indexed(const InputFile& file, const CorpusIndex& index, const ChunkedBits* kept,
                   std::uint64_t total, std::string_view output) {
  W2vWriter writer(output);
  if (total == 0) {
    ProgressBar bar(0);
    writer.header(0, 0);
    bar.finish_and_clear();
    writer.flush();
    return;
  }
  if (!file.rewind_if_unchanged()) fail_input_changed();

  // The bar and the header wait for the first survivor, whose first layer
  // gives the dimension; a first survivor without layers leaves the file
  // empty.
  std::optional<ProgressBar> bar;
  LineSource lines(file.fd());
  LineParser parser;
  std::string token;
  std::vector<double> values;
  std::uint64_t occurrence = 0;
  for (std::size_t i = 0; i < index.lines.size(); ++i) {
    const LineShape& shape = index.lines[i];
    const std::optional<std::string_view> raw = lines.next_line();
    if (!raw || raw->size() != shape.length) fail_input_changed();
    const std::string_view line = without_terminator(*raw);
    std::uint64_t position = 0;
    for (std::uint32_t k = 0; k < shape.occurrences; ++k, ++occurrence) {
      if (kept != nullptr && !(*kept)[occurrence]) continue;
      const OccurrencePlace& place = index.places[occurrence];
      if (place.values == OccurrencePlace::kNoLayer) {
        if (!bar) fail_missing_layer();
        writer.fail_missing_layer();
      }
      if (!parser.read_occurrence(line, place, token, values)) fail_input_changed();
      remove_token_markers(token);
      if (!bar) {
        bar.emplace(total);
        writer.header(total, values.size());
      }
      writer.line(token, shape.linex_index, position, values);
      ++position;
      bar->inc(1);
    }
  }
  if (!bar) fail_input_changed();  // the index promised a survivor
  bar->finish_and_clear();
  writer.flush();
}

}  // namespace ondravane
