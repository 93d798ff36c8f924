// One whole conversion: read, optionally filter, write, with the stage
// messages on standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/line/malformed_line.h"
#include "converter/output/output_path.h"
#include "converter/workers/chunk_size.h"
#include "converter/writer.h"

namespace ondravane {

struct ConversionOptions {
  std::optional<std::int64_t> min;  // absent: no filtering at all
  std::int64_t keep = -1;           // negative: no thinning
  std::uint64_t seed = 0;
  // Worker threads for the two readings of a regular file; 1 keeps the whole
  // conversion on the calling thread (the Python module never asks for more).
  unsigned jobs = 1;
  // Bytes of lines per chunk of work.
  std::size_t chunk_bytes = kDefaultChunkBytes;
  // How the output file becomes the output: as it is written (the Python
  // module), or once complete (the command line).
  OutputCommit commit = OutputCommit::kAsWritten;
  // What is written of each occurrence, and how (the command line's layer,
  // combination, type and format options; the module keeps the default).
  VectorOptions vectors = {};
};

// What a finished conversion has to tell beyond the output file.
struct ConversionOutcome {
  // The malformed line that emptied the output, if one did.
  std::optional<MalformedLine> malformed;
  // The identifiers written that hold a blank, counted in the binary format.
  BlankIdentifiers blank_identifiers;
};

// A regular file is read twice: first checked and indexed, then read again
// to write what survives, so memory follows the number of sentences and
// occurrences, not of values. An input that cannot be read twice (a pipe, a
// device, a generated file) is converted in memory, with the same results.
ConversionOutcome convert(std::string_view input, std::string_view output,
                          const ConversionOptions& options);

}  // namespace ondravane
