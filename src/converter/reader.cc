// Reading an activation file: one record per line, checked in file order,
// with the sub-word marks removed from every token.
#include "converter/reader.h"

#include "converter/input/line_source.h"
#include "converter/json/utf8.h"
#include "converter/line/line_parser.h"
#include "converter/tokens/token_marks.h"
#include "converter/workers/parallel_readings.h"
#include "progress/progress_bar.h"
#include "support/console.h"
#include "support/failure.h"
#include "support/system_error.h"

namespace ondravane {

namespace {

// Reads the lines of `file` under a bar over its bytes. `accept(line)` checks
// one line (terminator removed) with `parser` and returns whether it was
// accepted; `keep(raw_line)` then takes what it needs. Every line is one unit
// of work whose result is kept in file order. Returns the malformed line
// that ended the reading, if one did; `bytes` counts what was read.
template <typename Accept, typename Keep>
std::optional<MalformedLine> read_lines(const InputFile& file, const LineParser& parser,
                                        Accept&& accept, Keep&& keep, std::uint64_t& bytes) {
  ProgressBar bar(file.size());
  LineSource lines(file.fd());
  std::uint64_t number = 0;
  while (std::optional<std::string_view> raw = lines.next_line()) {
    ++number;
    bytes += raw->size();
    const std::string_view line = without_terminator(*raw);
    // A line that is not UTF-8 stops the reading as a failure, before it
    // counts on the bar and before its syntax is judged. The parser checks
    // the UTF-8 of the strings it walks, and an accepted line has nothing
    // else that could break it, so only a rejected line needs the full check.
    bool accepted;
    try {
      accepted = accept(line);
    } catch (...) {
      // Running out of memory mid-line: end as a line that was checked
      // first and counted on the bar before parsing would.
      if (!is_valid_utf8(*raw)) fail_unwrap(describe_invalid_utf8());
      bar.inc(line.size() + 1);
      throw;
    }
    if (!accepted && !is_valid_utf8(*raw)) fail_unwrap(describe_invalid_utf8());
    bar.inc(line.size() + 1);
    if (!accepted) {
      // One bad line discards the whole file; the bar is left unfinished.
      print_line("Error parsing line\n");
      return MalformedLine{number, parser.rejection()};
    }
    keep(*raw);
  }
  bar.finish_and_clear();
  return std::nullopt;
}

}  // namespace

RecordsRead Activation::from_file(const InputFile& file) {
  LineParser parser;
  RecordsRead read;
  std::optional<Activation> activation;
  std::uint64_t bytes = 0;
  read.malformed = read_lines(
      file, parser,
      [&](std::string_view line) {
        activation = parser.from_line(line, LayerRetention::kFirstOnly);
        return activation.has_value();
      },
      [&](std::string_view) {
        for (Feature& feature : activation->features) remove_token_marks(feature.token);
        read.records.push_back(std::move(*activation));
      },
      bytes);
  if (read.malformed) read.records = {};
  return read;
}

IndexRead index_records(const InputFile& file, bool number_tokens, unsigned jobs,
                        std::size_t chunk_bytes) {
  if (jobs > 1) return index_records_in_parallel(file, number_tokens, jobs, chunk_bytes);
  LineParser parser;
  IndexRead read;
  CorpusIndex& index = read.index;
  std::string token;
  read.malformed = read_lines(
      file, parser,
      [&](std::string_view line) {
        // Places are 32-bit offsets within a line.
        if (line.size() >= OccurrencePlace::kNoLayer) {
          fail("a line longer than 4 GiB cannot be converted from a regular file");
        }
        return parser.index_unchecked_utf8(line, number_tokens);
      },
      [&](std::string_view raw) {
        const std::vector<OccurrencePlace>& places = parser.indexed_places();
        index.lines.push_back(IndexedLine{raw.size(), parser.indexed_linex_index(),
                                        static_cast<std::uint32_t>(places.size())});
        for (std::size_t i = 0; i < places.size(); ++i) {
          index.values_at.push_back(places[i].values);
          if (number_tokens) {
            token.assign(parser.indexed_token(i));
            remove_token_marks(token);
            index.token_numbers.push_back(index.tokens.number_of(token));
          } else {
            index.tokens_at.push_back(places[i].token);
          }
        }
      },
      read.bytes);
  if (read.malformed) read.index = CorpusIndex{};
  index.numbered = number_tokens;
  return read;
}

}  // namespace ondravane
