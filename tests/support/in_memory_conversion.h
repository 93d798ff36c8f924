// The conversion held in memory, record by record, as the program once ran
// it for inputs it could read only once: every record of the input read
// with its first layer, filtered, then written. The two readings of every
// input are checked against it, so it stays written apart from them, built
// only on what the program shares with it (the line grammar, the filter's
// stages, the word-vector writer, the first reading's rules for the bar,
// "Error parsing line" and the failures).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "converter/filter_stages.h"
#include "converter/input/input_file.h"
#include "converter/line/malformed_line.h"
#include "converter/output/w2v_writer.h"
#include "converter/pipeline.h"
#include "converter/reading/first_reading.h"
#include "converter/reading/second_reading.h"
#include "converter/records.h"
#include "converter/tokens/token_marks.h"
#include "converter/tokens/token_numbers.h"
#include "converter/vectors/vector_options.h"
#include "converter/workers/work_shift.h"
#include "progress/progress_bar.h"
#include "support/console.h"
#include "feature_vectors.h"
#include "token_counts.h"

namespace ondravane {

// What a reading of records yields.
struct RecordsRead {
  ActivationList records;  // empty when a line was malformed
  std::optional<MalformedLine> malformed;
};

namespace in_memory_detail {

struct RecordsChunk : LineChunk {
  std::vector<Activation> records;  // of the last pass, marks removed
  std::size_t held_bytes() const { return LineChunk::held_bytes() + records.capacity() * sizeof(Activation); }
};

inline void read_records(RecordsChunk& chunk, const WorkShift& shift) {
  chunk.records.clear();
  work_lines(
      chunk, shift,
      [&](std::string_view, std::string_view line) {
        std::optional<Activation> activation = chunk.parser.from_line(line, LayerRetention::kFirstOnly);
        if (!activation) return false;
        for (Feature& feature : activation->features) remove_token_marks(feature.token);
        chunk.records.push_back(std::move(*activation));
        return true;
      },
      [&] { return chunk.records.size() * sizeof(Activation); });
}

}  // namespace in_memory_detail

// Every record of `source`, keeping only each feature's first layer. A
// malformed line prints "Error parsing line" and yields no record; any
// system error raises a failure.
inline RecordsRead read_records(ByteSource& source) {
  RecordsRead read;
  LinesTaken taken;
  read.malformed = read_lines<in_memory_detail::RecordsChunk>(
      source, 1, kDefaultChunkBytes, &in_memory_detail::read_records,
      [&](in_memory_detail::RecordsChunk& chunk, std::size_t i) {
        read.records.push_back(std::move(chunk.records[i]));
      },
      taken);
  if (read.malformed) read.records = {};
  return read;
}

// A new list with one record per input record holding the surviving
// features, moved out of `activations`.
inline ActivationList filter(ActivationList&& activations, std::int64_t min, std::int64_t keep,
                             std::uint64_t seed) {
  TokenCounts counts;
  ActivationList filtered;
  std::vector<bool> decisions;
  run_filter_stages(
      activations.size(), min, keep, seed,
      [&](std::size_t i) {
        for (const Feature& feature : activations[i].features) counts.add(feature.token);
      },
      [&](std::size_t i, const auto& decide) {
        Activation& activation = activations[i];
        decisions.clear();
        for (const Feature& feature : activation.features) decisions.push_back(decide(counts.count(feature.token)));
        Activation& out = filtered.emplace_back();
        out.linex_index = activation.linex_index;
        for (std::size_t k = 0; k < decisions.size(); ++k) {
          if (decisions[k]) out.features.push_back(std::move(activation.features[k]));
        }
      });
  return filtered;
}

// Writes `activations` (with the layers `vectors` reads kept) at `path`:
// the header, then every occurrence's vector or every type's, replacing
// whatever the path names the way `commit` says. Returns the identifiers
// written that hold a blank.
inline BlankIdentifiers to_w2v(std::span<const Activation> activations, std::string_view path,
                               OutputCommit commit = OutputCommit::kAsWritten, const VectorOptions& vectors = {}) {
  W2vWriter writer(path, commit, vectors.format);
  std::uint64_t total = 0;
  for (const Activation& activation : activations) total += activation.features.size();
  if (total == 0) {
    ProgressBar bar(0);
    writer.header(0, 0);
    bar.finish_and_clear();
    writer.finish();
    return {};
  }
  // Types numbered in the order their first vector is written.
  TokenNumbers types;
  IndexedOutput out(writer, total, EntryShape{vectors.per_type, vectors.format}, &types);
  FeatureVectors made(vectors.recipe);
  for (std::size_t record = 0; record < activations.size(); ++record) {
    const Activation& activation = activations[record];
    std::uint64_t position = 0;
    for (const Feature& feature : activation.features) {
      // Records are the lines of the file, one each.
      WrittenOccurrence occurrence{record + 1, feature.token, activation.linex_index, position, 0};
      std::span<const double> vector;
      std::int64_t missing = 0;
      switch (made.make(feature, vector, missing)) {
        case FeatureVectors::Made::kMade: break;
        case FeatureVectors::Made::kMissingLayer: out.fail_missing_layer(occurrence, vectors.recipe, missing);
        case FeatureVectors::Made::kLengthsDiffer: out.fail_lengths_differ(occurrence, vectors.recipe, made.layers());
      }
      if (vectors.per_type) occurrence.type = types.number_of(feature.token);
      out.line(occurrence, vector);
      ++position;
    }
  }
  out.finish();
  return out.blanks();
}

// The whole conversion of the file at `input` in memory, with the stage
// messages of convert().
inline std::optional<MalformedLine> convert_in_memory(const std::string& input, const std::string& output,
                                                      const ConversionOptions& options) {
  print_line("Start Reading! (This may take a while)\n");
  InputFile file(input);
  RecordsRead read = read_records(file);
  ActivationList current = std::move(read.records);
  if (options.min) {
    print_line("Start Filtering!\n");
    current = filter(std::move(current), *options.min, options.keep, options.seed);
  }
  print_line("Start Writing!(This may take a while)\n");
  to_w2v(current, output, options.commit);
  print_line("Finish Writing!\n");
  return read.malformed;
}

}  // namespace ondravane
