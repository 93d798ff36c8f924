// One whole conversion: read, optionally filter, write, with the stage
// messages on standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "converter/input/byte_source.h"
#include "converter/input/input_file.h"
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

// What a conversion reads.
struct ConversionInput {
  std::string path;             // the file, unless `standard_input`
  bool standard_input = false;  // the process's standard input (the command line's "-")
  // Makes the text to convert of the input's bytes when they are not text
  // as they are (the command line decompresses), or returns nothing.
  std::function<std::unique_ptr<ByteSource>(InputFile&)> decode;
};

// Every input is read twice: first checked and indexed, then read again to
// write what survives, so memory follows the number of sentences and
// occurrences, not of values. A regular file is read again itself; an input
// that cannot be (a pipe, a device, a generated file, decoded text) keeps a
// copy of what the second reading needs (reading/spill.h), with the same
// results.
ConversionOutcome convert(const ConversionInput& input, std::string_view output,
                          const ConversionOptions& options);
// The file at `input`, read as it is.
inline ConversionOutcome convert(std::string_view input, std::string_view output,
                                 const ConversionOptions& options) {
  return convert(ConversionInput{std::string(input), false, {}}, output, options);
}

}  // namespace ondravane
