// Writing records that are in memory: the header, then every occurrence's
// first layer, in file order.
#include "converter/writer.h"

#include <cstdint>
#include <span>

#include <optional>
#include <string>
#include <vector>

#include "converter/input/piece_reader.h"
#include "converter/line/line_parser.h"
#include "converter/output/w2v_writer.h"
#include "converter/tokens/token_marks.h"
#include "converter/workers/parallel_readings.h"
#include "progress/progress_bar.h"

namespace ondravane {

namespace {

// The dimension announced in the header: the length of the first layer of
// the first feature of the first record that has any.
std::uint64_t header_dimension(std::span<const Activation> activations) {
  for (const Activation& activation : activations) {
    if (activation.features.empty()) continue;
    const Feature& first = activation.features.front();
    if (first.layers.empty()) fail_missing_layer();
    return first.layers.front().values.size();
  }
  return 0;
}

}  // namespace

void to_w2v(std::span<const Activation> activations, std::string_view path) {
  W2vWriter out(path);

  std::uint64_t total = 0;
  for (const Activation& activation : activations) total += activation.features.size();
  const std::uint64_t dimension = header_dimension(activations);

  ProgressBar bar(total);
  out.header(total, dimension);
  for (const Activation& activation : activations) {
    std::uint64_t position = 0;
    for (const Feature& feature : activation.features) {
      // Checked before any of the line is buffered: the file must end with
      // the last complete line when this fails.
      if (feature.layers.empty()) out.fail_missing_layer();
      out.line(feature.token, activation.linex_index, position, feature.layers.front().values);
      ++position;
      bar.inc(1);
    }
  }
  bar.finish_and_clear();
  out.flush();
}

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
        remove_token_marks(token);
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
