// Test helper: seeded activation corpora with faults placed where a test
// wants them, and everything a conversion of one leaves behind.
#pragma once

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "capture_stdout.h"
#include "converter/pipeline.h"
#include "converter/reader.h"
#include "failure_of.h"

namespace ondravane::test_support::corpus {

inline std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_whole(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class ScratchDir : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/two_readings_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::signal(SIGPIPE, SIG_IGN);  // a FIFO's reader may stop early
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

// A seeded corpus in the shapes real dumps and hand-written files take: both
// record forms, escapes and sub-word marks in tokens, sentences without
// features, first layers of different lengths (empty ones and long ones),
// later layers, CR LF endings and a last line without its LF.
inline std::string generated_corpus(unsigned seed, int lines) {
  static const char* const kTokens[] = {"the",   "\\u0120cat", "##s", "a##b", "dog", "\\u0120##x",
                                        "",      "caf\\u00e9", "the", "the",  "dog", "k:1 2"};
  std::mt19937 engine(seed);
  auto pick = [&](int n) { return static_cast<int>(engine() % static_cast<unsigned>(n)); };
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const bool object = pick(2) == 0;
    std::string features;
    const int count = pick(5);
    for (int f = 0; f < count; ++f) {
      if (f) features += ",";
      std::string layers;
      const int layer_count = 1 + pick(3);
      // Now and then a first layer and a token longer than the second
      // reading's first guess at their length.
      const bool long_one = pick(12) == 0;
      const int dimension = long_one ? 300 + pick(400) : pick(6);
      for (int l = 0; l < layer_count; ++l) {
        std::string values;
        for (int v = 0; v < (l == 0 ? dimension : 1 + pick(4)); ++v) {
          if (v) values += ",";
          char number[40];
          const double value = std::ldexp(static_cast<double>(engine()) - 2147483648.0, pick(40) - 50);
          std::snprintf(number, sizeof number, pick(8) == 0 ? "%.3e" : "%.17g", value);
          values += pick(20) == 0 ? "-0.0" : number;
        }
        if (l) layers += ",";
        layers += pick(2) ? "[" + std::to_string(l) + ",[" + values + "]]"
                          : "{\"values\":[" + values + "],\"index\":" + std::to_string(l) + "}";
      }
      const std::string token =
          std::string("\"") + (long_one ? std::string(300, 'w') + "\\u0120" : kTokens[pick(12)]) + "\"";
      features += object ? "{\"token\":" + token + ",\"layers\":[" + layers + "]}"
                         : "[" + token + ",[" + layers + "]]";
    }
    const std::string sentence = std::to_string(pick(3) == 0 ? 0 : i);
    text += object ? "{\"features\":[" + features + "],\"linex_index\":" + sentence + "}"
                   : "[" + sentence + ",[" + features + "]]";
    if (i + 1 < lines || pick(2)) text += pick(4) == 0 ? "\r\n" : "\n";
  }
  return text;
}

// A seeded corpus shaped like the dumps of extraction tools that number
// layers from the last: every occurrence lists layers -1 to -4 (in any
// order, now and then one of them twice, the second time with other
// values), all `dimension` long, with values written as round(x, 6),
// float32 activations widened to doubles and plain doubles print, mixed
// within a list or a list all widened float32.
inline std::string stock_corpus(unsigned seed, int lines, int dimension) {
  static const char* const kTokens[] = {"the", "\\u0120cat", "##s", "dog", "the", "k:1 2", "caf\\u00e9"};
  std::mt19937 engine(seed);
  auto pick = [&](int n) { return static_cast<int>(engine() % static_cast<unsigned>(n)); };
  std::normal_distribution<double> normal(0.0, 1.0);
  // Now and then a whole list of widened float32 values, as most dumps
  // hold; drawn apart, so that the rest of the corpus stays as it was.
  std::mt19937 list_styles(seed + 1000);
  auto values = [&] {
    const bool widened = list_styles() % 3 == 0;
    std::string text;
    for (int v = 0; v < dimension; ++v) {
      const double x = normal(engine) * (pick(10) == 0 ? 1e-5 : 1.0);
      char number[40];
      const int kind = pick(3);
      switch (widened ? 1 : kind) {
        case 0: std::snprintf(number, sizeof number, "%.6g", x); break;
        case 1: std::snprintf(number, sizeof number, "%.17g", static_cast<double>(static_cast<float>(x))); break;
        default: std::snprintf(number, sizeof number, "%.17g", x); break;
      }
      text += (v ? "," : "") + std::string(number);
    }
    return "[" + text + "]";
  };
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const bool object = pick(2) == 0;
    std::string features;
    const int count = pick(5);
    for (int f = 0; f < count; ++f) {
      std::vector<int> order = {-1, -2, -3, -4};
      if (pick(3) == 0) std::shuffle(order.begin(), order.end(), engine);
      if (pick(6) == 0) order.push_back(order[static_cast<std::size_t>(pick(4))]);
      std::string layers;
      for (int index : order) {
        if (!layers.empty()) layers += ",";
        layers += object ? "{\"index\":" + std::to_string(index) + ",\"values\":" + values() + "}"
                         : "[" + std::to_string(index) + "," + values() + "]";
      }
      const std::string token = std::string("\"") + kTokens[pick(7)] + "\"";
      if (f) features += ",";
      features += object ? "{\"token\":" + token + ",\"layers\":[" + layers + "]}" : "[" + token + ",[" + layers + "]]";
    }
    text += object ? "{\"linex_index\":" + std::to_string(i) + ",\"features\":[" + features + "]}"
                   : "[" + std::to_string(i) + ",[" + features + "]]";
    text += "\n";
  }
  return text;
}

enum class Fault { kNone, kMalformed, kNotUtf8, kLayerless };
enum class Where { kFirst, kMiddle, kLast };

// One generated corpus for the equivalence tables: where a fault is put,
// and the filter's minimum (none: no filtering).
struct CorpusCase {
  const char* name;
  Fault fault;
  Where where;
  std::optional<std::int64_t> min;
};

// A clean corpus (unfiltered, filtered, filtered from 0), then each fault
// first, in the middle and last, unfiltered and filtered.
inline std::vector<CorpusCase> corpus_cases() {
  std::vector<CorpusCase> cases = {{"Clean", Fault::kNone, Where::kFirst, std::nullopt},
                                   {"CleanFiltered", Fault::kNone, Where::kFirst, 2},
                                   {"CleanFilteredFromZero", Fault::kNone, Where::kFirst, 0}};
  static const char* const kNames[3][3][2] = {
      {{"MalformedFirst", "MalformedFirstFiltered"},
       {"MalformedMiddle", "MalformedMiddleFiltered"},
       {"MalformedLast", "MalformedLastFiltered"}},
      {{"NotUtf8First", "NotUtf8FirstFiltered"},
       {"NotUtf8Middle", "NotUtf8MiddleFiltered"},
       {"NotUtf8Last", "NotUtf8LastFiltered"}},
      {{"LayerlessFirst", "LayerlessFirstFiltered"},
       {"LayerlessMiddle", "LayerlessMiddleFiltered"},
       {"LayerlessLast", "LayerlessLastFiltered"}}};
  const Fault faults[] = {Fault::kMalformed, Fault::kNotUtf8, Fault::kLayerless};
  const Where places[] = {Where::kFirst, Where::kMiddle, Where::kLast};
  for (int f = 0; f < 3; ++f) {
    for (int w = 0; w < 3; ++w) {
      cases.push_back({kNames[f][w][0], faults[f], places[w], std::nullopt});
      cases.push_back({kNames[f][w][1], faults[f], places[w], 2});
    }
  }
  return cases;
}

// Replaces one line of `corpus` (the first, middle or last) by `text`,
// keeping its ending; `line` receives its number.
inline std::string replace_line(const std::string& corpus, Where where, const std::string& text,
                                std::uint64_t& line) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < corpus.size()) {
    const std::size_t lf = corpus.find('\n', start);
    const std::size_t end = lf == std::string::npos ? corpus.size() : lf + 1;
    lines.push_back(corpus.substr(start, end - start));
    start = end;
  }
  const std::size_t at = where == Where::kFirst ? 0 : where == Where::kMiddle ? lines.size() / 2
                                                                             : lines.size() - 1;
  line = at + 1;
  const std::string ending = lines[at].back() == '\n' ? "\n" : "";
  lines[at] = text + ending;
  std::string out;
  for (const std::string& l : lines) out += l;
  return out;
}

// Replaces one line of `corpus` (the first, middle or last) by a faulty one.
inline std::string with_fault(const std::string& corpus, Fault fault, Where where, std::uint64_t& line) {
  switch (fault) {
    case Fault::kNone: replace_line(corpus, where, "", line); return corpus;
    case Fault::kMalformed: return replace_line(corpus, where, R"([3,[["x",[[0,[1.5,]]]]]])", line);
    case Fault::kNotUtf8: return replace_line(corpus, where, "[3,[[\"\xC3(\",[[0,[1.5]]]]]]", line);
    // A token of its own, which a filter with min 2 drops before it is written.
    case Fault::kLayerless: return replace_line(corpus, where, R"([3,[["t",[[0,[2]]]],["lay",[]]]])", line);
  }
  return corpus;
}

// What a stock corpus may hold that only the options choosing what is
// written cannot write: an occurrence without layer -3, one whose layer -2
// is one value longer, one whose every layer is. Each stands alone in its
// line under a token of its own, which a filter with min 2 drops.
enum class StockFault { kNone, kMissingLayer, kLayerLengths, kOtherLength };

inline std::string with_stock_fault(const std::string& corpus, StockFault fault, Where where, int dimension) {
  if (fault == StockFault::kNone) return corpus;
  const auto list = [](int length, int first) {
    std::string text;
    for (int v = 0; v < length; ++v) text += (v ? "," : "") + std::to_string(first + v);
    return "[" + text + "]";
  };
  const int length = dimension + (fault == StockFault::kOtherLength ? 1 : 0);
  std::string layers;
  for (int index : {-1, -2, -3, -4}) {
    if (fault == StockFault::kMissingLayer && index == -3) continue;
    const int own = length + (fault == StockFault::kLayerLengths && index == -2 ? 1 : 0);
    layers += (layers.empty() ? "[" : ",[") + std::to_string(index) + "," + list(own, -index) + "]";
  }
  std::uint64_t line = 0;
  return replace_line(corpus, where, "[3,[[\"odd\",[" + layers + "]]]]", line);
}

// The ways of writing a stock corpus that the tests compare, each with and
// without the filter.
struct VectorCase {
  const char* name;
  VectorOptions vectors;
};

inline std::vector<VectorCase> vector_cases() {
  const auto options = [](std::vector<std::int64_t> indices, Combine combine, bool per_type, VectorFormat format) {
    return VectorOptions{VectorRecipe{LayerChoice{std::move(indices)}, combine}, per_type, format};
  };
  return {{"LastLayer", options({-1}, Combine::kMean, false, VectorFormat::kText)},
          {"MeanOfTheLastFour", options({-1, -2, -3, -4}, Combine::kMean, false, VectorFormat::kText)},
          {"Sum", options({-4, -1}, Combine::kSum, false, VectorFormat::kText)},
          {"Concat", options({-2, -1, -2}, Combine::kConcat, false, VectorFormat::kText)},
          {"Binary", options({-1}, Combine::kMean, false, VectorFormat::kBinary)},
          {"PerType", options({-1, -2, -3, -4}, Combine::kMean, true, VectorFormat::kText)},
          {"PerTypeBinary", options({-3}, Combine::kMean, true, VectorFormat::kBinary)}};
}

// The name of a test of a stock corpus written one way, with a fault and
// with or without the filter.
inline std::string stock_case_name(const std::tuple<VectorCase, StockFault, bool>& param) {
  static const char* const kFaults[] = {"Clean", "MissingLayer", "LayerLengths", "OtherLength"};
  return std::string(std::get<0>(param).name) + kFaults[static_cast<int>(std::get<1>(param))] +
         (std::get<2>(param) ? "Filtered" : "");
}

// Whether writing `vectors` of a stock corpus with `fault` (unfiltered)
// fails at the faulty occurrence.
inline bool stock_fault_fails(const VectorOptions& vectors, StockFault fault) {
  const std::vector<std::int64_t>& read = vectors.recipe.layers.indices;
  const auto reads = [&](std::int64_t index) { return std::find(read.begin(), read.end(), index) != read.end(); };
  switch (fault) {
    case StockFault::kNone: return false;
    case StockFault::kMissingLayer: return reads(-3);
    case StockFault::kLayerLengths:
      return reads(-2) && read.size() > 1 && vectors.recipe.combine != Combine::kConcat;
    case StockFault::kOtherLength: return vectors.format == VectorFormat::kBinary;
  }
  return false;
}

// Everything a conversion leaves behind.
struct Result {
  std::string printed;
  std::string failure;
  std::string output;
  std::optional<MalformedLine> malformed;
};

inline Result run_conversion(const std::string& input, const std::string& output,
                      const ConversionOptions& options) {
  Result result;
  result.printed = capture_stdout([&] {
    result.failure = failure_of([&] { result.malformed = convert(input, output, options).malformed; });
  });
  result.output = read_whole(output);
  return result;
}

}  // namespace ondravane::test_support::corpus
