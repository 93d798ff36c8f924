// An occurrence as the writing meets it, in file order: what its entry is
// written with, and what a failure at it names.
#pragma once

#include <cstdint>
#include <string_view>

namespace ondravane {

struct WrittenOccurrence {
  std::uint64_t line = 0;      // of the file, from 1
  std::string_view token;      // marks removed
  std::uint32_t sentence = 0;
  // Among the occurrences of its sentence that are written (the filter's
  // survivors), from 0: the position its identifier holds.
  std::uint64_t position = 0;
  std::uint32_t type = 0;      // its token's number, when tokens are numbered
};

}  // namespace ondravane
