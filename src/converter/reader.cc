// Reading an activation file: one record per line, checked in file order,
// into the index of a first reading.
#include "converter/reader.h"

#include "converter/reading/first_reading.h"
#include "converter/reading/index_lines.h"

namespace ondravane {

IndexRead index_records(ByteSource& source, bool number_tokens, unsigned jobs, std::size_t chunk_bytes,
                        Spill* copy, const LayerChoice& layers) {
  IndexRead read;
  IndexBuilder builder(read.index, number_tokens, layers, copy);
  LinesTaken taken;
  read.malformed = read_lines<IndexChunk>(
      source, jobs, chunk_bytes, IndexLines{number_tokens, copy != nullptr, &layers},
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
