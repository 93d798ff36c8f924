// What becomes of whatever the output path names when an output file is
// made there, decided in one place.
#pragma once

#include <string_view>

#include "support/file_io.h"

namespace ondravane {

// Opens the output file at `path` as the writer always has: whatever the
// path names is removed first (special files excepted, which are written in
// place), then the file is created with mode 0666 before the umask, or
// truncated. A failed removal or open raises a failure.
UniqueFd open_output_path(std::string_view path);

}  // namespace ondravane
