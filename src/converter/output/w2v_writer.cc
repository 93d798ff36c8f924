// The word-vector format: integers, values and whole lines, as text or
// binary, written into the output file's buffer or into memory alike.
#include "converter/output/w2v_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <limits>
#include <cstdint>
#include <cstring>
#include <span>

#include "converter/output/value_text.h"
#include "support/failure.h"

namespace ondravane {

namespace {

// Longest decimal text of a 64-bit unsigned integer.
constexpr std::size_t kMaxIntegerChars = 20;
static_assert(OutputFile::kMinCapacity >= kMaxValueSlot, "a value must fit in the buffer");

template <typename Out>
void append_integer(Out& out, std::uint64_t number) {
  char* first = out.reserve(kMaxIntegerChars);
  const auto [last, error] = std::to_chars(first, first + kMaxIntegerChars, number);
  (void)error;  // twenty digits hold any 64-bit value
  out.commit(static_cast<std::size_t>(last - first));
}

static_assert(std::numeric_limits<float>::is_iec559, "the binary format's floats are IEEE single precision");

// The values after the identifier's blank, and the line feed.
template <typename Out>
void append_values(Out& out, VectorFormat format, std::span<const double> values) {
  if (format == VectorFormat::kBinary) {
    // Reservations stay within what the output file grants at once.
    constexpr std::size_t kPerReservation = OutputFile::kMinCapacity / kBinaryValueBytes;
    for (std::size_t done = 0; done < values.size();) {
      const std::size_t count = std::min(kPerReservation, values.size() - done);
      char* room = out.reserve(count * kBinaryValueBytes);
      for (std::size_t i = 0; i < count; ++i) {
        // Rounded to nearest, ties to even, as the conversion of a double
        // rounds; the bytes from the lowest, whatever the machine's order.
        const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(values[done + i]));
        char* bytes = room + i * kBinaryValueBytes;
        for (std::size_t b = 0; b < kBinaryValueBytes; ++b) bytes[b] = static_cast<char>(bits >> (8 * b));
      }
      out.commit(count * kBinaryValueBytes);
      done += count;
    }
  } else {
    for (std::size_t done = 0; done < values.size();) {
      std::span<char> room(out.reserve(kMaxValueSlot), out.room());
      std::size_t used;
      done += format_values(values.subspan(done), done != 0, room, used);
      out.commit(used);
    }
  }
  out.append('\n');
}

template <typename Out>
void append_identifier(Out& out, std::string_view token, std::uint32_t sentence, std::uint64_t position) {
  out.append(token);
  out.append(':');
  append_integer(out, sentence);
  out.append(':');
  append_integer(out, position);
  out.append(' ');
}

template <typename Out>
void append_line(Out& out, VectorFormat format, std::string_view token, std::uint32_t sentence,
                 std::uint64_t position, std::span<const double> values) {
  append_identifier(out, token, sentence, position);
  append_values(out, format, values);
}

template <typename Out>
void append_text_line(Out& out, std::string_view token, std::uint32_t sentence, std::uint64_t position,
                      std::string_view values_text) {
  append_identifier(out, token, sentence, position);
  out.append(values_text);
  out.append('\n');
}

}  // namespace

void fail_missing_layer() { fail("index out of bounds: the len is 0 but the index is 0"); }

W2vWriter::W2vWriter(std::string_view path, OutputCommit commit, VectorFormat format)
    : out_(path, commit), format_(format) {}

void W2vWriter::header(std::uint64_t total, std::uint64_t dimension) {
  append_integer(out_, total);
  out_.append(' ');
  append_integer(out_, dimension);
  out_.append('\n');
}

void W2vWriter::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                     std::span<const double> values) {
  append_line(out_, format_, token, sentence, position, values);
}

void W2vWriter::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                     std::string_view values_text) {
  append_text_line(out_, token, sentence, position, values_text);
}

void W2vWriter::entry(std::string_view token, std::span<const double> values) {
  out_.append(token);
  out_.append(' ');
  append_values(out_, format_, values);
}

void FormattedLines::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                          std::span<const double> values) {
  append_line(*this, format_, token, sentence, position, values);
}

void FormattedLines::line(std::string_view token, std::uint32_t sentence, std::uint64_t position,
                          std::string_view values_text) {
  append_text_line(*this, token, sentence, position, values_text);
}

void FormattedLines::grow(std::size_t size) {
  std::size_t capacity = bytes_.capacity() == 0 ? OutputFile::kMinCapacity : bytes_.capacity();
  while (capacity - bytes_.size() < size) capacity *= 2;
  bytes_.reallocate(capacity);
}

void W2vWriter::fail_missing_layer() {
  out_.flush();
  ondravane::fail_missing_layer();
}

}  // namespace ondravane
