// Writes a word-vector text file: a header "<total> <dimension>", then
// "<token>:<sentence>:<position> v1 v2 ..." per occurrence.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "converter/output_file.h"
#include "converter/records.h"

namespace ondravane {

// The output file, line by line. Whoever feeds it decides what is written;
// it only knows the format.
class W2vWriter {
 public:
  // Removes whatever the path names (special files excepted) and creates
  // the file anew.
  explicit W2vWriter(std::string_view path);

  void header(std::uint64_t total, std::uint64_t dimension);
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values);
  // Hands every buffered byte to the file.
  void flush() { out_.flush(); }

  // The failure of a feature without layers met while writing lines: the
  // file keeps the complete lines before it.
  [[noreturn]] void fail_missing_layer();

 private:
  OutputFile out_;
};

// The failure of a feature without layers: its first layer is looked up in
// an empty list.
[[noreturn]] void fail_missing_layer();

void to_w2v(std::span<const Activation> activations, std::string_view path);

}  // namespace ondravane
