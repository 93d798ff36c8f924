// The parsing ceiling the converter is measured against: a general-purpose
// vectorised JSON parser visiting every number of every line of an activation
// file as a double, and nothing else. No output is written; the sum and count
// of the numbers are printed so that the work cannot be optimised away.
// Two front ends of the parser: the document tree (--dom, the default) and
// the faster on-demand one (--ondemand), which parses values as it visits
// them.
//
//     ceiling [--dom | --ondemand] FILE
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
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

// The same visit through the on-demand front end: every number read as a
// double where it stands.
error_code visit(ondemand::value value, Totals& totals) {
  ondemand::json_type type;
  if (error_code failure = value.type().get(type)) return failure;
  switch (type) {
    case ondemand::json_type::array: {
      ondemand::array array;
      if (error_code failure = value.get_array().get(array)) return failure;
      for (auto child : array) {
        ondemand::value element;
        if (error_code failure = child.get(element)) return failure;
        if (error_code failure = visit(element, totals)) return failure;
      }
      break;
    }
    case ondemand::json_type::object: {
      ondemand::object object;
      if (error_code failure = value.get_object().get(object)) return failure;
      for (auto field : object) {
        ondemand::value member;
        if (error_code failure = field.value().get(member)) return failure;
        if (error_code failure = visit(member, totals)) return failure;
      }
      break;
    }
    case ondemand::json_type::number: {
      double number;
      if (error_code failure = value.get_double().get(number)) return failure;
      totals.sum += number;
      ++totals.numbers;
      break;
    }
    default:
      break;
  }
  return SUCCESS;
}

struct DomFrontEnd {
  dom::parser parser;
  error_code parse(const char* data, std::size_t size, std::size_t batch, Totals& totals,
                   std::size_t& lines) {
    dom::document_stream stream;
    if (error_code failure = parser.parse_many(data, size, batch).get(stream)) return failure;
    for (auto document : stream) {
      dom::element root;
      if (error_code failure = document.get(root)) return failure;
      visit(root, totals);
      ++lines;
    }
    return SUCCESS;
  }
};

struct OnDemandFrontEnd {
  ondemand::parser parser;
  error_code parse(const char* data, std::size_t size, std::size_t batch, Totals& totals,
                   std::size_t& lines) {
    ondemand::document_stream stream;
    if (error_code failure = parser.iterate_many(data, size, batch).get(stream)) return failure;
    for (auto document : stream) {
      ondemand::document_reference reference;
      if (error_code failure = std::move(document).get(reference)) return failure;
      ondemand::value root;
      if (error_code failure = reference.get_value().get(root)) return failure;
      if (error_code failure = visit(root, totals)) return failure;
      ++lines;
    }
    return SUCCESS;
  }
};

// Parses the lines in [data, data + size) (padded); returns false on a parse
// error. Batches of a few MiB are the parser's fastest setting; a batch must
// hold the longest line, so a capacity error retries with larger ones.
template <typename FrontEnd>
bool parse_lines(FrontEnd& front_end, const char* data, std::size_t size, Totals& totals,
                 std::size_t& lines) {
  for (std::size_t batch = std::size_t{4} << 20;; batch *= 2) {
    Totals chunk;
    std::size_t chunk_lines = 0;
    const error_code failure =
        front_end.parse(data, size, std::max(batch, std::size_t{1} << 20), chunk, chunk_lines);
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

// Whole lines are parsed from large chunks; the bytes after a chunk's last
// line feed move to the front of the next one.
template <typename FrontEnd>
int run(int fd) {
  constexpr std::size_t kChunk = std::size_t{32} << 20;
  std::vector<char> buffer(kChunk + SIMDJSON_PADDING);
  std::size_t held = 0;
  FrontEnd front_end;
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
    if (!parse_lines(front_end, buffer.data(), usable, totals, lines)) return 1;
    std::memmove(buffer.data(), buffer.data() + usable, held - usable);
    held -= usable;
  }
  std::printf("%zu lines, %zu numbers, sum %.17g\n", lines, totals.numbers, totals.sum);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool on_demand = argc == 3 && std::strcmp(argv[1], "--ondemand") == 0;
  const bool dom = argc == 3 && std::strcmp(argv[1], "--dom") == 0;
  if (argc != 2 && !on_demand && !dom) {
    std::fprintf(stderr, "usage: ceiling [--dom | --ondemand] FILE\n");
    return 2;
  }
  const char* path = argv[argc - 1];
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(path);
    return 1;
  }
  const int status = on_demand ? run<OnDemandFrontEnd>(fd) : run<DomFrontEnd>(fd);
  ::close(fd);
  return status;
}
