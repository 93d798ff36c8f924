#include "converter/second_reading.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "converter/line_parser.h"
#include "converter/parallel_readings.h"
#include "converter/piece_reader.h"
#include "converter/reader.h"
#include "converter/token_markers.h"
#include "converter/writer.h"
#include "progress/progress_bar.h"
#include "support/system_error.h"

namespace ondravane {

void write_indexed(const InputFile& file, const CorpusIndex& index, const ChunkedBits* kept,
                   std::uint64_t total, std::string_view output, unsigned jobs,
                   std::size_t chunk_bytes) {
  W2vWriter writer(output);
  if (total == 0) {
    ProgressBar bar(0);
    writer.header(0, 0);
    bar.finish_and_clear();
    writer.flush();
    return;
  }
  if (!file.unchanged_since_first_reading()) fail_input_changed();
  if (jobs > 1) {
    write_indexed_in_parallel(file, index, kept, total, writer, jobs, chunk_bytes);
    return;
  }

  // The bar and the header wait for the first survivor, whose first layer
  // gives the dimension; a first survivor without layers leaves the file
  // empty. Of each survivor only its token and its first layer are read.
  std::optional<ProgressBar> bar;
  PieceReader pieces(file.fd());
  LineParser parser;
  std::string token;
  std::vector<double> values;
  std::uint64_t values_guess = 4096;
  std::uint64_t token_guess = 256;
  const auto read_values = [&](std::string_view piece, std::size_t& used) {
    return parser.read_values(piece, 0, values, used);
  };
  const auto read_token = [&](std::string_view piece, std::size_t& used) {
    return parser.read_token(piece, 0, token, used);
  };
  std::uint64_t occurrence = 0;
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < index.lines.size(); offset += index.lines[i].length, ++i) {
    const IndexedLine& shape = index.lines[i];
    std::uint64_t position = 0;
    for (std::uint32_t k = 0; k < shape.occurrences; ++k, ++occurrence) {
      if (kept != nullptr && !(*kept)[occurrence]) continue;
      const std::uint32_t values_at = index.values_at[occurrence];
      if (values_at == OccurrencePlace::kNoLayer) {
        if (!bar) fail_missing_layer();
        writer.fail_missing_layer();
      }
      if (!read_piece(pieces, offset, shape.length, values_at, values_guess, read_values)) {
        fail_input_changed();
      }
      std::string_view written_token;
      if (index.numbered) {
        written_token = index.tokens.text(index.token_numbers[occurrence]);
      } else {
        if (!read_piece(pieces, offset, shape.length, index.tokens_at[occurrence], token_guess,
                        read_token)) {
          fail_input_changed();
        }
        remove_token_markers(token);
        written_token = token;
      }
      if (!bar) {
        bar.emplace(total);
        writer.header(total, values.size());
      }
      writer.line(written_token, shape.linex_index, position, values);
      ++position;
      bar->inc(1);
    }
  }
  if (!bar) fail_input_changed();  // the index promised a survivor
  bar->finish_and_clear();
  writer.flush();
}

}  // namespace ondravane
