// Micro-benchmarks of the inner loops: parsing and indexing an activation
// line and proving its lists of numbers (bytes per second, on each
// instruction set the processor runs), and reading and formatting one value. The inputs are built here
// from a fixed seed, shaped like the files the converter reads: float32
// activations widened to doubles, written with their shortest digits.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "converter/json/number_conversion.h"
#include "converter/json/number_list_check.h"
#include "converter/line/line_parser.h"
#include "converter/output/shortest_digits.h"
#include "converter/output/value_text.h"
#include "number_text.h"
#include "previous_shortest_digits.h"
#include "record_helpers.h"
#include "support/instruction_set.h"

namespace {

std::vector<double> activation_values(std::size_t count, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<float> normal(0.0f, 0.6f);
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  std::vector<double> values(count);
  for (double& value : values) {
    float component = normal(engine);
    if (uniform(engine) < 0.03f) component *= 1e-5f;  // the exponent-form ones
    value = static_cast<double>(component);
  }
  return values;
}

void append_number(std::string& out, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

// One sentence of `tokens` occurrences with `layers` vectors of 768 values.
// The values of one layer as its JSON list.
std::string values_list(const std::vector<double>& values, std::size_t first) {
  std::string list = "[";
  for (std::size_t v = 0; v < 768; ++v) {
    if (v) list += ", ";
    append_number(list, values[first + v]);
  }
  return list + "]";
}

std::string activation_line(int tokens, int layers) {
  const std::vector<double> values = activation_values(std::size_t(tokens) * layers * 768, 7);
  std::string line = "{\"linex_index\": 12, \"features\": [";
  std::size_t next = 0;
  for (int t = 0; t < tokens; ++t) {
    if (t) line += ", ";
    line += "{\"token\": \"\xC4\xA0word##s\", \"layers\": [";
    for (int l = 0; l < layers; ++l) {
      if (l) line += ", ";
      line += "{\"index\": " + std::to_string(l) + ", \"values\": " + values_list(values, next) + "}";
      next += 768;
    }
    line += "]}";
  }
  line += "]}";
  return line;
}

// Adds one run of the benchmark per instruction set the processor runs,
// the set's number (its place in kInstructionSets) as the last argument.
void on_each_instruction_set(benchmark::internal::Benchmark* benchmark, std::vector<std::vector<std::int64_t>> args) {
  for (std::size_t set = 0; set < std::size(ondravane::kInstructionSets); ++set) {
    if (!ondravane::instruction_set_supported(ondravane::kInstructionSets[set])) continue;
    for (std::vector<std::int64_t> run : args) {
      run.push_back(static_cast<std::int64_t>(set));
      benchmark->Args(run);
    }
  }
}

ondravane::InstructionSet forced_set(const benchmark::State& state, int arg) {
  return ondravane::kInstructionSets[state.range(arg)];
}

void BM_ParseLine(benchmark::State& state) {
  const ondravane::ForcedInstructionSet forced(forced_set(state, 3));
  const std::string line = activation_line(25, static_cast<int>(state.range(0)));
  const auto retention =
      state.range(1) ? ondravane::LayerRetention::kFirstOnly : ondravane::LayerRetention::kAll;
  ondravane::LineParser parser;
  if (state.range(2)) {
    // As the reader parses: the UTF-8 of the strings checked on the way.
    for (auto _ : state) {
      auto activation = parser.from_line(line, retention);
      benchmark::DoNotOptimize(activation);
    }
  } else {
    for (auto _ : state) {
      auto activation = parse_unchecked(parser, line, retention);
      benchmark::DoNotOptimize(activation);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_ParseLine)
    ->ArgNames({"layers", "first_only", "utf8", "set"})
    ->Apply([](auto* b) { on_each_instruction_set(b, {{4, 1, 1}, {13, 1, 1}, {4, 1, 0}, {4, 0, 0}}); });

// The first of two readings: the same checks, keeping only where each
// occurrence stands (no value converted or stored).
void BM_IndexLine(benchmark::State& state) {
  const ondravane::ForcedInstructionSet forced(forced_set(state, 2));
  const std::string line = activation_line(25, static_cast<int>(state.range(0)));
  ondravane::LineParser parser;
  for (auto _ : state) {
    const bool indexed = parser.index_unchecked_utf8(line, state.range(1) != 0);
    benchmark::DoNotOptimize(indexed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_IndexLine)
    ->ArgNames({"layers", "tokens", "set"})
    ->Apply([](auto* b) { on_each_instruction_set(b, {{4, 0}, {13, 0}, {4, 1}}); });

// The proof of one layer's list alone, as the indexing walk meets it: what
// the instruction sets change.
void BM_CheckNumberList(benchmark::State& state) {
  const ondravane::ForcedInstructionSet forced(forced_set(state, 0));
  const std::string list = values_list(activation_values(768, 5), 0) + "}]}";
  const char* after = nullptr;
  std::size_t count = 0;
  for (auto _ : state) {
    const bool proved = ondravane::check_number_list(list.data(), list.data() + list.size(), after, count);
    benchmark::DoNotOptimize(proved);
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (after - list.data())));
}
BENCHMARK(BM_CheckNumberList)->ArgNames({"set"})->Apply([](auto* b) { on_each_instruction_set(b, {{}}); });

// The same values rounded to six places, as dumps written with
// round(x, 6) hold them.
std::vector<double> rounded_values(std::size_t count, std::uint32_t seed) {
  std::vector<double> values = activation_values(count, seed);
  for (double& value : values) value = std::nearbyint(value * 1e6) / 1e6;
  return values;
}

template <std::vector<double> (*Values)(std::size_t, std::uint32_t)>
void BM_ParseNumber(benchmark::State& state) {
  // As many values as the formatting benchmark, for the same reason.
  constexpr std::size_t kCount = 1 << 20;
  std::string text;
  for (double value : Values(kCount, 11)) {
    append_number(text, value);
    text += ' ';
  }
  for (auto _ : state) {
    const char* p = text.data();
    const char* end = p + text.size();
    double sum = 0;
    while (p != end) {
      double value;
      p = ondravane::parse_number(p, end, value) + 1;
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCount));
}
BENCHMARK(BM_ParseNumber<activation_values>)->Name("BM_ParseNumber");
BENCHMARK(BM_ParseNumber<rounded_values>)->Name("BM_ParseNumber/six_places");

template <std::vector<double> (*Values)(std::size_t, std::uint32_t)>
void BM_FormatValue(benchmark::State& state) {
  // A million values, so that the branch predictor cannot learn them by
  // heart: with a few thousand repeated, formatting looked a third faster
  // than it is on a real file.
  const std::vector<double> values = Values(1 << 20, 13);
  char out[ondravane::kMaxValueChars];
  for (auto _ : state) {
    std::size_t total = 0;
    for (double value : values) {
      total += ondravane::format_value(value, std::span<char, ondravane::kMaxValueChars>(out));
    }
    benchmark::DoNotOptimize(total);
  }
  // Items are values: the report's time per item is the time per value.
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
  state.counters["ns_per_value"] = benchmark::Counter(
      static_cast<double>(state.iterations() * values.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FormatValue<activation_values>)->Name("BM_FormatValue");
BENCHMARK(BM_FormatValue<rounded_values>)->Name("BM_FormatValue/six_places");

// The same values a list of 768 at a time, as the writer formats them.
void BM_FormatValues(benchmark::State& state) {
  const std::vector<double> values = activation_values(1 << 20, 13);
  std::vector<char> out(768 * ondravane::kMaxValueSlot);
  for (auto _ : state) {
    std::size_t total = 0;
    for (std::size_t first = 0; first < values.size(); first += 768) {
      std::size_t used;
      ondravane::format_values(std::span<const double>(values).subspan(first, 768), false,
                               std::span<char>(out), used);
      total += used;
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
  state.counters["ns_per_value"] = benchmark::Counter(
      static_cast<double>(state.iterations() * values.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FormatValues);

// The second reading of one layer: a list of 768 values read (converted),
// then with their text made as the output writes it, from the digits read
// where they are the shortest. The same values as the formatting above.
template <bool kText>
void BM_ReadValues(benchmark::State& state) {
  const std::vector<double> values = activation_values(1 << 20, 13);
  std::vector<std::string> lists;
  for (std::size_t first = 0; first < values.size(); first += 768) lists.push_back(values_list(values, first));
  ondravane::LineParser parser;
  std::vector<double> read;
  ondravane::ValueListText text;
  for (auto _ : state) {
    std::size_t total = 0;
    for (const std::string& list : lists) {
      std::size_t end;
      const bool ok = kText ? parser.read_values(list, 0, read, text, end) : parser.read_values(list, 0, read, end);
      total += ok ? text.text().size() + read.size() : 0;
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
  state.counters["ns_per_value"] = benchmark::Counter(
      static_cast<double>(state.iterations() * values.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadValues<false>)->Name("BM_ReadValues");
BENCHMARK(BM_ReadValues<true>)->Name("BM_ReadValues/with_text");

// The digits alone, without their layout, over the same values: the
// previous algorithm, the current one, and the current one with the 32-bit
// x86 form of its 128-bit products.
template <ondravane::DecimalDigits (*Digits)(double)>
void BM_ShortestDigits(benchmark::State& state) {
  const std::vector<double> values = activation_values(1 << 20, 13);
  for (auto _ : state) {
    std::uint64_t total = 0;
    for (double value : values) {
      const ondravane::DecimalDigits digits = Digits(value < 0 ? -value : value);
      total += digits.significand + static_cast<std::uint64_t>(digits.exponent);
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
  state.counters["ns_per_value"] = benchmark::Counter(
      static_cast<double>(state.iterations() * values.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
ondravane::DecimalDigits previous_digits(double v) { return ondravane::previous::shortest_digits(v); }
ondravane::DecimalDigits current_digits(double v) { return ondravane::shortest_digits(v); }
ondravane::DecimalDigits portable_digits(double v) {
  return ondravane::shortest_digits_with<ondravane::PortableWide>(v);
}
BENCHMARK(BM_ShortestDigits<previous_digits>)->Name("BM_ShortestDigits/previous");
BENCHMARK(BM_ShortestDigits<current_digits>)->Name("BM_ShortestDigits/current");
BENCHMARK(BM_ShortestDigits<portable_digits>)->Name("BM_ShortestDigits/portable_products");

}  // namespace

BENCHMARK_MAIN();
