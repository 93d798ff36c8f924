// Compressed inputs of the command line: told by their first bytes whatever
// their name, and decompressed on a thread of their own as they are read.
#pragma once

#include <memory>
#include <string>

#include "converter/input/byte_source.h"
#include "converter/input/input_file.h"

namespace ondravane::cli {

// The text of `file`, decompressed, when its first bytes are those of gzip
// or zstd data; nothing when it is text as it is. `name` is the input as
// messages name it. A format this build cannot read fails with a message
// that says so.
std::unique_ptr<ByteSource> decompressed(InputFile& file, const std::string& name);

// The compressed formats this build reads, for the help text: "gzip, zstd",
// or empty.
std::string readable_compressed_formats();

}  // namespace ondravane::cli
