// The parsing ceiling the converter is measured against: a general-purpose
// vectorised JSON parser visiting every number of every line of an activation
// file as a double, and nothing else. No output is written; the sum and count
// of the numbers are printed so that the work cannot be optimised away.
//
//     ceiling FILE
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <simdjson.h>

namespace {

using namespace simdjson;

struct Totals {
  double sum = 0;
  std::size_t numbers = 0;
};

// Every number in the tree, whatever its place: a general parser does not
// know which of them a converter would keep.
void visit(dom::element element, Totals& totals) {
  switch (element.type()) {
    case dom::element_type::ARRAY:
      for (dom::element child : dom::array(element)) visit(child, totals);
      break;
    case dom::element_type::OBJECT:
      for (dom::key_value_pair field : dom::object(element)) visit(field.value, totals);
      break;
    case dom::element_type::DOUBLE:
      totals.sum += double(element);
      ++totals.numbers;
      break;
    case dom::element_type::INT64:
      totals.sum += double(std::int64_t(element));
      ++totals.numbers;
      break;
    case dom::element_type::UINT64:
      totals.sum += double(std::uint64_t(element));
      ++totals.numbers;
      break;
    default:
      break;
  }
}

// Parses the lines in [data, data + size) (padded); returns false on a parse
// error. Batches of a few MiB are the parser's fastest setting; a batch must
// hold the longest line, so a capacity error retries with larger ones.
bool parse_lines(dom::parser& parser, const char* data, std::size_t size, Totals& totals,
                 std::size_t& lines) {
  for (std::size_t batch = std::size_t{4} << 20;; batch *= 2) {
    Totals chunk;
    std::size_t chunk_lines = 0;
    error_code failure = SUCCESS;
    dom::document_stream stream;
    failure = parser.parse_many(data, size, std::max(batch, std::size_t{1} << 20)).get(stream);
    if (failure == SUCCESS) {
      for (auto document : stream) {
        dom::element root;
        failure = document.get(root);
        if (failure != SUCCESS) break;
        visit(root, chunk);
        ++chunk_lines;
      }
    }
    if (failure == CAPACITY && batch < size * 2) continue;
    if (failure != SUCCESS) {
      std::fprintf(stderr, "parse error: %s\n", error_message(failure));
      return false;
    }
    totals.sum += chunk.sum;
    totals.numbers += chunk.numbers;
    lines += chunk_lines;
    return true;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ceiling FILE\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  // Whole lines are parsed from large chunks; the bytes after a chunk's last
  // line feed move to the front of the next one.
  constexpr std::size_t kChunk = std::size_t{32} << 20;
  std::vector<char> buffer(kChunk + SIMDJSON_PADDING);
  std::size_t held = 0;
  dom::parser parser;
  Totals totals;
  std::size_t lines = 0;
  bool eof = false;
  while (!eof || held > 0) {
    if (!eof) {
      if (held == buffer.size() - SIMDJSON_PADDING) buffer.resize(buffer.size() * 2 + SIMDJSON_PADDING);
      const ssize_t got = ::read(fd, buffer.data() + held, buffer.size() - SIMDJSON_PADDING - held);
      if (got < 0) {
        std::perror("read");
        return 1;
      }
      if (got == 0) eof = true;
      held += static_cast<std::size_t>(got);
    }
    std::size_t usable = held;
    if (!eof) {
      const void* last = memrchr(buffer.data(), '\n', held);
      if (last == nullptr) continue;
      usable = static_cast<std::size_t>(static_cast<const char*>(last) - buffer.data()) + 1;
    }
    if (usable == 0) break;
    if (!parse_lines(parser, buffer.data(), usable, totals, lines)) return 1;
    std::memmove(buffer.data(), buffer.data() + usable, held - usable);
    held -= usable;
  }
  ::close(fd);
  std::printf("%zu lines, %zu numbers, sum %.17g\n", lines, totals.numbers, totals.sum);
  return 0;
}
