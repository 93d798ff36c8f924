#include "converter/second_reading.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "converter/line_parser.h"
#include "converter/reader.h"
#include "converter/writer.h"
#include "progress/progress_bar.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// The bytes of one line, read at its offset into a buffer that grows to the
// longest line met. Lines without survivors are never read.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The line of `length` bytes at `offset`, or nothing when the file ends
  // before it does.
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
  // empty.
  std::optional<ProgressBar> bar;
  LineReader lines(file.fd());
  LineParser parser;
  std::string token;
  std::vector<double> values;
  std::uint64_t occurrence = 0;
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < index.lines.size(); offset += index.lines[i].length, ++i) {
    const LineShape& shape = index.lines[i];
    std::string_view line;
    std::uint64_t position = 0;
    for (std::uint32_t k = 0; k < shape.occurrences; ++k, ++occurrence) {
      if (kept != nullptr && !(*kept)[occurrence]) continue;
      if (line.data() == nullptr) {
        const std::optional<std::string_view> raw = lines.read(offset, shape.length);
        // Every line but the last ends where the first reading saw its LF.
        if (!raw || (i + 1 < index.lines.size() && raw->back() != '\n')) fail_input_changed();
        line = without_terminator(*raw);
      }
      const std::uint32_t values_at = index.values_at[occurrence];
      if (values_at == OccurrencePlace::kNoLayer) {
        if (!bar) fail_missing_layer();
        writer.fail_missing_layer();
      }
      if (!parser.read_values(line, values_at, values)) fail_input_changed();
      std::string_view written_token = token;
      if (index.numbered) {
        written_token = index.tokens.text(index.token_numbers[occurrence]);
      } else {
        if (!parser.read_token(line, index.tokens_at[occurrence], token)) fail_input_changed();
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
