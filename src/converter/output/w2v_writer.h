// The word-vector format: a header "<total> <dimension>", then an entry per
// vector: its identifier ("<token>:<sentence>:<position>" for an
// occurrence, the token alone for a type), a blank, its values, a line
// feed. The values are text ("v1 v2 ...") or binary (little-endian 32-bit
// floats, each the nearest to its double). Written to the output file or
// formatted in memory for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "converter/output/output_file.h"
#include "converter/output/vector_format.h"
#include "converter/output/value_text.h"
#include "support/growing_bytes.h"

namespace ondravane {

// The output file, line by line. Whoever feeds it decides what is written;
// it only knows the format.
class W2vWriter {
 public:
  // Opens the output at `path`, written the way `commit` says.
  explicit W2vWriter(std::string_view path, OutputCommit commit = OutputCommit::kAsWritten,
                     VectorFormat format = VectorFormat::kText);

  VectorFormat format() const { return format_; }
  void header(std::uint64_t total, std::uint64_t dimension);
  // The entry of an occurrence, and of a type.
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values);
  // The same in the text format, the values' text made already
  // (ValueListText).
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::string_view values_text);
  void entry(std::string_view token, std::span<const double> values);
  // Lines formatted elsewhere (by FormattedLines), passed through as they are.
  void formatted(std::string_view lines) { out_.append(lines); }
  // Hands every buffered byte to the file, which then becomes the output.
  void finish() { out_.finish(); }

  // The failure of a feature without layers met while writing lines: the
  // file keeps the complete lines before it.
  [[noreturn]] void fail_missing_layer();
  // Any other failure met while writing: the same complete lines stay.
  void flush() { out_.flush(); }

 private:
  OutputFile out_;
  VectorFormat format_;
};

// Lines formatted in memory exactly as W2vWriter::line writes them, for
// lines formatted away from the thread that writes the file.
class FormattedLines {
 public:
  void set_format(VectorFormat format) { format_ = format; }
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values);
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::string_view values_text);
  std::string_view bytes() const { return bytes_.bytes(); }
  void clear() { bytes_.set_size(0); }
  // Drops what follows the first `size` bytes.
  void keep_first(std::size_t size) { bytes_.set_size(size); }
  std::size_t capacity() const { return bytes_.capacity(); }
  // Gives the memory back when the buffer grew beyond `limit` (it is empty).
  void release_beyond(std::size_t limit) { bytes_.release_beyond(limit); }

  // The buffer interface the formatting shares with OutputFile.
  void append(char c) {
    if (bytes_.room() == 0) grow(1);
    *bytes_.end() = c;
    bytes_.extend(1);
  }
  void append(std::string_view bytes) {
    if (bytes_.room() < bytes.size()) grow(bytes.size());
    if (!bytes.empty()) std::memcpy(bytes_.end(), bytes.data(), bytes.size());
    bytes_.extend(bytes.size());
  }
  char* reserve(std::size_t size) {
    if (bytes_.room() < size) grow(size);
    return bytes_.end();
  }
  // The room at reserve(), all of which commit() may take.
  std::size_t room() const { return bytes_.room(); }
  void commit(std::size_t size) { bytes_.extend(size); }

 private:
  // Makes room for `size` more bytes, keeping those held.
  void grow(std::size_t size);

  GrowingBytes bytes_;
  VectorFormat format_ = VectorFormat::kText;
};

// The bytes of a value in the binary format.
inline constexpr std::size_t kBinaryValueBytes = 4;

// At least the length of the line W2vWriter::line writes for these.
inline std::size_t max_line_text(std::string_view token, std::span<const double> values,
                                 VectorFormat format = VectorFormat::kText) {
  // The identifier's two numbers take 10 and 20 digits at most.
  std::size_t length = token.size() + 34;
  if (format == VectorFormat::kBinary) return length + values.size() * kBinaryValueBytes;
  for (double value : values) length += max_value_chars(value) + 1;
  return length;
}

// The longest line W2vWriter::line may write for these, computed without
// looking at each value's text.
inline std::size_t longest_line_text(std::string_view token, std::span<const double> values,
                                     VectorFormat format) {
  return token.size() + 34 +
         values.size() * (format == VectorFormat::kBinary ? kBinaryValueBytes : kMaxValueChars + 1);
}

// The failure of a feature without layers: its first layer is looked up in
// an empty list.
[[noreturn]] void fail_missing_layer();

}  // namespace ondravane
