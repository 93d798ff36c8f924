// The bytes the first reading takes, in order, wherever they come from: the
// input file as it is, or the text a front end makes of it (the command line
// decompresses), with what the reading bar measures of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ondravane {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Reads up to `room` bytes (at least 1) into `into`; returns how many, 0
  // at the end. A read that fails raises its failure.
  virtual std::size_t read(char* into, std::size_t room) = 0;

  // The length of the reading bar.
  virtual std::uint64_t bar_length() const = 0;
  // Where the bar stands once the first `text_bytes` bytes read are taken,
  // for a source that measures it in bytes of its own (compressed ones);
  // nothing when each line advances it by its length without terminator
  // plus one, as over a file read as it is.
  virtual std::optional<std::uint64_t> bar_position_after(std::uint64_t /*text_bytes*/) { return std::nullopt; }

  // A descriptor whose first ranged_size() bytes are this source's, to be
  // read at any offset by workers that each read their own range; -1 when
  // the bytes must be read in order.
  virtual int ranged_fd() const { return -1; }
  virtual std::uint64_t ranged_size() const { return 0; }

  // After a reading that stopped before the end (a malformed line, a
  // failure): reads the rest, when only its end tells whether the bytes
  // given were right (the checksum at the end of compressed data), and
  // raises the failure it finds there.
  virtual void verify_rest() {}
};

}  // namespace ondravane
