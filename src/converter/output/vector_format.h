// How an entry's values are written: as text or in binary.
#pragma once

namespace ondravane {

enum class VectorFormat {
  kText,    // the shortest digits that read back as the same double, positional
  kBinary,  // little-endian IEEE single precision, each the nearest to its double
};

}  // namespace ondravane
