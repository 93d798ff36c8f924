// The text of the word-vector format: integers, values and whole lines,
// written into the output file's buffer or into memory alike.
#include "converter/output/w2v_writer.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "converter/output/value_text.h"
#include "support/failure.h"

namespace ondravane {

namespace {

// Longest decimal text of a 64-bit unsigned integer.
constexpr std::size_t kMaxIntegerChars = 20;
static_assert(OutputFile::kMinCapacity >= kMaxValueChars, "a value must fit in the buffer");

template <typename Out>
void append_integer(Out& out, std::uint64_t number) {
  char* first = out.reserve(kMaxIntegerChars);
  const auto [last, error] = std::to_chars(first, first + kMaxIntegerChars, number);
  (void)error;  // twenty digits hold any 64-bit value
  out.commit(static_cast<std::size_t>(last - first));
}

template <typename Out>
void append_value(Out& out, double value) {
  std::span<char, kMaxValueChars> room(out.reserve(kMaxValueChars), kMaxValueChars);
  out.commit(format_value(value, room));
}

template <typename Out>
void append_line(Out& out, std::string_view token, std::uint32_t sentence, std::uint64_t position,
                 std::span<const double> values) {
  out.append(token);
  out.append(':');
  append_integer(out, sentence);
  out.append(':');
  append_integer(out, position);
  out.append(' ');
  bool first = true;
  for (double value : values) {
    if (!first) out.append(' ');
    first = false;
    append_value(out, value);
  }
  out.append('\n');
}

}  // namespace

void fail_missing_layer() { fail("index out of bounds: the len is 0 but the index is 0"); }

W2vWriter::W2vWriter(std::string_view path, OutputCommit commit) : out_(path, commit) {}

void W2vWriter::header(std::uint64_t total, std::uint64_t dimension) {
  append_integer(out_, total);
  out_.append(' ');
  append_integer(out_, dimension);
  out_.append('\n');
}

void W2vWriter::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                     std::span<const double> values) {
  append_line(out_, token, sentence, position, values);
}

void FormattedLines::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                          std::span<const double> values) {
  append_line(*this, token, sentence, position, values);
}

void FormattedLines::grow(std::size_t size) {
  std::size_t capacity = capacity_ == 0 ? OutputFile::kMinCapacity : capacity_;
  while (capacity - size_ < size) capacity *= 2;
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ != 0) std::memcpy(grown.get(), buffer_.get(), size_);
  buffer_ = std::move(grown);
  capacity_ = capacity;
}

void W2vWriter::fail_missing_layer() {
  out_.flush();
  ondravane::fail_missing_layer();
}

}  // namespace ondravane
