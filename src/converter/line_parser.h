// The record grammar of one activation line: a JSON text holding one
// Activation, with each record in object or array form. It is written for
// these three records rather than building a document tree: values go
// straight into the records, unknown members are checked and skipped, and
// numbers are converted in place. The JSON text itself is read through a
// JsonCursor.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/json_cursor.h"
#include "converter/records.h"

namespace ondravane {

class LineParser {
 public:
  // Parses `line` (valid UTF-8, terminator removed). Returns nothing when the
  // line is rejected; rejection() then says where and why. The parser's
  // buffers are reused from line to line, so one parser should read a whole
  // file.
  std::optional<Activation> parse(std::string_view line, LayerRetention retention);

  // The same for a line whose encoding is not checked yet: the bytes of its
  // strings that are not ASCII must also form well-formed UTF-8, so an
  // accepted line is valid UTF-8 as a whole (everything outside strings that
  // the grammar accepts is ASCII). A rejected line may be malformed JSON or
  // not UTF-8; only a check of the whole line tells which. This saves the
  // reader a separate pass over every accepted line.
  std::optional<Activation> parse_unchecked_utf8(std::string_view line, LayerRetention retention);

  // Why the last line was rejected. Meaningful only after a rejection.
  Rejection rejection() const { return cursor_.rejection(); }

 private:
  // What becomes of the numbers of one layer.
  enum class Values { kStore, kCheck };

  std::optional<Activation> parse_line(std::string_view line, LayerRetention retention,
                                       bool check_utf8);
  bool parse_activation(Activation& activation);
  bool parse_feature(Feature& feature);
  bool parse_layer(Layer& layer, Values values);
  bool parse_features(std::vector<Feature>& features);
  bool parse_layers(std::vector<Layer>& layers);
  bool parse_values(std::vector<double>& values, Values handling);
  bool parse_token(std::string& token);

  // A record in object form (two named fields, other members skipped) or in
  // array form (exactly the two fields, in order).
  template <typename First, typename Second>
  bool parse_record(std::string_view first_key, std::string_view second_key, First&& first,
                    Second&& second);
  template <typename First, typename Second>
  bool parse_record_object(std::string_view first_key, std::string_view second_key, First&& first,
                           Second&& second);
  template <typename First, typename Second>
  bool parse_record_pair(First&& first, Second&& second);
  template <typename Element>
  bool parse_array(Element&& element);

  JsonCursor cursor_;
  LayerRetention retention_ = LayerRetention::kAll;

  // Reused buffers: lists are collected here and then copied into vectors of
  // exactly their size, so the records carry no spare capacity.
  std::vector<Feature> features_scratch_;
  std::vector<Layer> layers_scratch_;
  std::vector<double> values_scratch_;
  Layer discarded_layer_;
};

}  // namespace ondravane
