#include "converter/second_reading.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "converter/line_parser.h"
#include "converter/reader.h"
#include "converter/token_markers.h"
#include "converter/writer.h"
#include "progress/progress_bar.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// Reads pieces of the file at their offsets into one buffer that grows to
// the largest piece read.
class PieceReader {
 public:
  explicit PieceReader(int fd) : fd_(fd) {}

  // The `length` bytes at `offset`, or nothing when the file ends before.
  std::optional<std::string_view> read(std::uint64_t offset, std::uint64_t length) {
    if (length > capacity_) {
      buffer_ = std::make_unique_for_overwrite<char[]>(length);
      capacity_ = length;
    }
    std::uint64_t done = 0;
    while (done < length) {
      const ssize_t count = ::pread(fd_, buffer_.get() + done, length - done,
                                    static_cast<off_t>(offset + done));
      if (count > 0) {
        done += static_cast<std::uint64_t>(count);
      } else if (count == 0) {
        return std::nullopt;
      } else if (errno != EINTR) {
        fail_os_error(errno);
      }
    }
    return std::string_view(buffer_.get(), length);
  }

 private:
  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::uint64_t capacity_ = 0;
};

// Reads a JSON value that starts `start` bytes into a line of `line_length`
// bytes at `line_offset`, without reading the rest of the line: first the
// bytes `guess` expects, then twice as many until `read_from(piece)` succeeds
// on them. Only a failure on the whole rest of the line means the line is
// not what was indexed. `guess` learns the length of the last value read.
template <typename ReadFrom>
bool read_piece(PieceReader& pieces, std::uint64_t line_offset, std::uint64_t line_length,
                std::uint32_t start, std::uint64_t& guess, ReadFrom&& read_from) {
  if (start >= line_length) return false;
  const std::uint64_t rest = line_length - start;
  for (std::uint64_t length = guess < rest ? guess : rest;; length = length * 2 < rest ? length * 2 : rest) {
    const std::optional<std::string_view> piece = pieces.read(line_offset + start, length);
    if (!piece) return false;
    std::size_t used = 0;
    if (read_from(*piece, used)) {
      guess = used + used / 4 + 64;
      return true;
    }
    if (length == rest) return false;
  }
}

}  // namespace

void write_indexed(const InputFile& file, const CorpusIndex& index, const ChunkedBits* kept,
                   std::uint64_t total, std::string_view output) {
  W2vWriter writer(output);
  if (total == 0) {
    ProgressBar bar(0);
    writer.header(0, 0);
    bar.finish_and_clear();
    writer.flush();
    return;
  }
  if (!file.unchanged_since_first_reading()) fail_input_changed();

  // The bar and the header wait for the first survivor, whose first layer
  // gives the dimension; a first survivor without layers leaves the file
  // empty. Of each survivor only its token and its first layer are read.
  std::optional<ProgressBar> bar;
  PieceReader pieces(file.fd());
  LineParser parser;
  std::string token;
  std::vector<double> values;
  std::uint64_t values_guess = 4096;
  std::uint64_t token_guess = 256;
  const auto read_values = [&](std::string_view piece, std::size_t& used) {
    return parser.read_values(piece, 0, values, used);
  };
  const auto read_token = [&](std::string_view piece, std::size_t& used) {
    return parser.read_token(piece, 0, token, used);
  };
  std::uint64_t occurrence = 0;
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < index.lines.size(); offset += index.lines[i].length, ++i) {
    const IndexedLine& shape = index.lines[i];
    std::uint64_t position = 0;
    for (std::uint32_t k = 0; k < shape.occurrences; ++k, ++occurrence) {
      if (kept != nullptr && !(*kept)[occurrence]) continue;
      const std::uint32_t values_at = index.values_at[occurrence];
      if (values_at == OccurrencePlace::kNoLayer) {
        if (!bar) fail_missing_layer();
        writer.fail_missing_layer();
      }
      if (!read_piece(pieces, offset, shape.length, values_at, values_guess, read_values)) {
        fail_input_changed();
      }
      std::string_view written_token;
      if (index.numbered) {
        written_token = index.tokens.text(index.token_numbers[occurrence]);
      } else {
        if (!read_piece(pieces, offset, shape.length, index.tokens_at[occurrence], token_guess,
                        read_token)) {
          fail_input_changed();
        }
        remove_token_markers(token);
        written_token = token;
      }
      if (!bar) {
        bar.emplace(total);
        writer.header(total, values.size());
      }
      writer.line(written_token, shape.linex_index, position, values);
      ++position;
      bar->inc(1);
    }
  }
  if (!bar) fail_input_changed();  // the index promised a survivor
  bar->finish_and_clear();
  writer.flush();
}

}  // namespace ondravane
