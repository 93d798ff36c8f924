// One compressed format's decoder as the decompression thread drives it:
// compressed bytes in, text out, and what went wrong in the format's words.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ondravane::cli {

class Decoder {
 public:
  virtual ~Decoder() = default;

  // What one call made of its input.
  struct Step {
    std::size_t consumed = 0;  // bytes of the input taken
    std::size_t produced = 0;  // bytes of text written
    std::string error;         // not empty: the data is damaged here
  };
  // Decodes from `input` into `text`; takes all of the input or fills all
  // of the text unless the data is damaged. Running out of memory raises.
  virtual Step decode(std::string_view input, std::span<char> text) = 0;
  // Once the input has ended: whether the data ended where a frame or a
  // member does, every byte of text given.
  virtual bool at_end_of_data() const = 0;
  // "gzip", "zstd".
  virtual const char* format() const = 0;
};

// The decoders this build has; nothing for a format it was built without.
std::unique_ptr<Decoder> make_gzip_decoder();
std::unique_ptr<Decoder> make_zstd_decoder();

}  // namespace ondravane::cli
