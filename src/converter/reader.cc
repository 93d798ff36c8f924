// Reading an activation file: one record per line, checked in file order,
// with the sub-word marks removed from every token; either every record in
// memory or the index of a first reading.
#include "converter/reader.h"

#include <string>
#include <utility>
#include <vector>

#include "converter/reading/index_lines.h"
#include "converter/reading/first_reading.h"
#include "converter/tokens/token_marks.h"

namespace ondravane {

namespace {

struct RecordsChunk : LineChunk {
  std::vector<Activation> records;  // of the last pass, marks removed
  std::size_t held_bytes() const { return LineChunk::held_bytes() + records.capacity() * sizeof(Activation); }
};

// Each line's record with the layers the conversion writes.
struct ReadRecords {
  const LayerChoice* layers;
  void operator()(RecordsChunk& chunk, const WorkShift& shift) const {
    chunk.records.clear();
    const LayerRetention retention = layers->by_index() ? LayerRetention::kChosen : LayerRetention::kFirstOnly;
    work_lines(
        chunk, shift,
        [&](std::string_view, std::string_view line) {
          std::optional<Activation> activation =
              chunk.parser.from_line(line, retention, LineParser::StringUtf8::kChecked, *layers);
          if (!activation) return false;
          for (Feature& feature : activation->features) remove_token_marks(feature.token);
          chunk.records.push_back(std::move(*activation));
          return true;
        },
        [&] { return chunk.records.size() * sizeof(Activation); });
  }
};

}  // namespace

RecordsRead Activation::from_file(const InputFile& file, const LayerChoice& layers) {
  RecordsRead read;
  LinesTaken taken;
  read.malformed = read_lines<RecordsChunk>(
      file, 1, kDefaultChunkBytes, ReadRecords{&layers},
      [&](RecordsChunk& chunk, std::size_t i) { read.records.push_back(std::move(chunk.records[i])); },
      taken);
  if (read.malformed) read.records = {};
  return read;
}

RecordsRead Activation::from_file(const InputFile& file) { return from_file(file, kFirstLayer); }

IndexRead index_records(const InputFile& file, bool number_tokens, unsigned jobs,
                        std::size_t chunk_bytes, const LayerChoice& layers) {
  IndexRead read;
  IndexBuilder builder(read.index, number_tokens, layers);
  LinesTaken taken;
  read.malformed = read_lines<IndexChunk>(
      file, jobs, chunk_bytes, IndexLines{number_tokens, &layers},
      [&](IndexChunk& chunk, std::size_t i) { builder.take(chunk, i); }, taken);
  read.bytes = taken.bytes;
  if (read.malformed) {
    read.index = CorpusIndex{};
    read.index.numbered = number_tokens;
    read.index.layers_read = static_cast<std::uint32_t>(layers.count());
  }
  return read;
}

}  // namespace ondravane
