// The in-memory corpus: one Activation per sentence, one Feature per token
// occurrence, one Layer per model layer of that occurrence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ondravane {

struct Layer {
  std::int64_t index = 0;      // layer number, as written in the file
  std::vector<double> values;  // the vector's components, in file order
  friend bool operator==(const Layer&, const Layer&) = default;
};

struct Feature {
  std::string token;          // UTF-8 token text
  std::vector<Layer> layers;  // the occurrence's vectors, in file order
  friend bool operator==(const Feature&, const Feature&) = default;
};

// Which layers a parsed record keeps. Every layer is always checked; the
// conversion itself writes the first one unless layers are chosen by index
// (line/layer_choice.h), so the file reader keeps only that, or only the
// chosen ones, and saves the memory of the rest.
enum class LayerRetention { kAll, kFirstOnly, kChosen };

struct Activation;
using ActivationList = std::vector<Activation>;
class InputFile;
struct RecordsRead;
struct LayerChoice;

struct Activation {
  std::uint32_t linex_index = 0;  // sentence number, as written in the file
  std::vector<Feature> features;  // token occurrences, in file order

  // The reader's operation (converter/reader.cc): every record of `file`
  // in memory, keeping only each feature's first layer, or the layers of
  // `layers` when they are chosen by index. A malformed line prints "Error
  // parsing line" and yields no record; any system error raises a failure.
  static RecordsRead from_file(const InputFile& file, const LayerChoice& layers);
  static RecordsRead from_file(const InputFile& file);

  friend bool operator==(const Activation&, const Activation&) = default;
};

}  // namespace ondravane
