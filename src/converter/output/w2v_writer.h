// The word-vector text format: a header "<total> <dimension>", then
// "<token>:<sentence>:<position> v1 v2 ..." per occurrence, written to the
// output file or formatted in memory for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include "converter/output/output_file.h"
#include "converter/output/value_text.h"

namespace ondravane {

// The output file, line by line. Whoever feeds it decides what is written;
// it only knows the format.
class W2vWriter {
 public:
  // Opens the output at `path`, written the way `commit` says.
  explicit W2vWriter(std::string_view path, OutputCommit commit = OutputCommit::kAsWritten);

  void header(std::uint64_t total, std::uint64_t dimension);
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values);
  // Lines formatted elsewhere (by FormattedLines), passed through as they are.
  void formatted(std::string_view lines) { out_.append(lines); }
  // Hands every buffered byte to the file, which then becomes the output.
  void finish() { out_.finish(); }

  // The failure of a feature without layers met while writing lines: the
  // file keeps the complete lines before it.
  [[noreturn]] void fail_missing_layer();

 private:
  OutputFile out_;
};

// Lines formatted in memory exactly as W2vWriter::line writes them, for
// lines formatted away from the thread that writes the file.
class FormattedLines {
 public:
  void line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
            std::span<const double> values);
  std::string_view bytes() const { return {buffer_.get(), size_}; }
  void clear() { size_ = 0; }
  // Drops what follows the first `size` bytes.
  void keep_first(std::size_t size) { size_ = size; }
  std::size_t capacity() const { return capacity_; }
  // Gives the memory back when the buffer grew beyond `limit` (it is empty).
  void release_beyond(std::size_t limit) {
    if (capacity_ <= limit) return;
    buffer_.reset();
    capacity_ = 0;
    size_ = 0;
  }

  // The buffer interface the formatting shares with OutputFile.
  void append(char c) {
    if (size_ == capacity_) grow(1);
    buffer_[size_++] = c;
  }
  void append(std::string_view bytes) {
    if (capacity_ - size_ < bytes.size()) grow(bytes.size());
    if (!bytes.empty()) std::memcpy(buffer_.get() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }
  char* reserve(std::size_t size) {
    if (capacity_ - size_ < size) grow(size);
    return buffer_.get() + size_;
  }
  void commit(std::size_t size) { size_ += size; }

 private:
  // Makes room for `size` more bytes, keeping those held.
  void grow(std::size_t size);

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// At least the length of the line W2vWriter::line writes for these.
inline std::size_t max_line_text(std::string_view token, std::span<const double> values) {
  // The identifier's two numbers take 10 and 20 digits at most.
  std::size_t length = token.size() + 34;
  for (double value : values) length += max_value_chars(value) + 1;
  return length;
}

// The failure of a feature without layers: its first layer is looked up in
// an empty list.
[[noreturn]] void fail_missing_layer();

}  // namespace ondravane
