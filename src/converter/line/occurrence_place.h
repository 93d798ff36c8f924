// What the second reading of a file reads again of one occurrence, as the
// first reading finds it: pieces of its line, each one JSON value.
#pragma once

#include <cstdint>

#include "support/fingerprint.h"

namespace ondravane {

// One piece of a line read again: the token's string (when the reading does
// not keep its text), or the list of values of a layer the occurrence's
// vector is made of. The pieces of an occurrence come in that order: the
// token first when it is read again, then its layers in the order chosen
// (line/layer_choice.h).
struct PiecePlace {
  static constexpr std::uint32_t kMissing = UINT32_MAX;  // a layer the occurrence does not have
  std::uint32_t offset = kMissing;  // of the value's first byte in the line
  // Of the value's text: whatever copies an occurrence's pieces (the index
  // keeps only their offsets) knows exactly which bytes are read again.
  std::uint32_t length = 0;
  friend bool operator==(const PiecePlace&, const PiecePlace&) = default;
};

// The fingerprint (support/fingerprint.h) of the pieces an occurrence has,
// each taken alone and folded in their order, so that either reading can
// build it piece by piece.
class PiecePrints {
 public:
  void add(std::uint32_t print) {
    value_ = any_ ? combined_fingerprint(value_, print) : print;
    any_ = true;
  }
  std::uint32_t value() const { return value_; }

 private:
  std::uint32_t value_ = 0;
  bool any_ = false;
};

}  // namespace ondravane
