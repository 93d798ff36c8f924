// The parser of one activation line: a JSON text holding one Activation, with
// each record in object or array form. It is written for these three records
// rather than building a document tree: values go straight into the records,
// unknown members are checked and skipped without recursion, and numbers are
// converted in place.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/records.h"

namespace ondravane {

class LineParser {
 public:
  // Parses `line` (valid UTF-8, terminator removed). Returns nothing when the
  // line is rejected. The parser's buffers are reused from line to line, so
  // one parser should read a whole file.
  std::optional<Activation> parse(std::string_view line, LayerRetention retention);

  // The same for a line whose encoding is not checked yet: the bytes of its
  // strings that are not ASCII must also form well-formed UTF-8, so an
  // accepted line is valid UTF-8 as a whole (everything outside strings that
  // the grammar accepts is ASCII). A rejected line may be malformed JSON or
  // not UTF-8; only a check of the whole line tells which. This saves the
  // reader a separate pass over every accepted line.
  std::optional<Activation> parse_unchecked_utf8(std::string_view line, LayerRetention retention);

 private:
  std::optional<Activation> parse_line(std::string_view line, LayerRetention retention,
                                       bool check_utf8);
  bool parse_activation(Activation& activation);
  bool parse_feature(Feature& feature);
  bool parse_layer(Layer& layer, bool keep);
  bool parse_features(std::vector<Feature>& features);
  bool parse_layers(std::vector<Layer>& layers);
  bool parse_values(std::vector<double>& values, bool keep);
  bool parse_index_value(std::uint32_t& index);
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

  // Reads a string with its escapes decoded; `text` views either the line
  // itself or decode_buffer_.
  bool read_string(std::string_view& text);
  // Advances over plain string characters, up to a quotation mark, reverse
  // solidus, control character or the end; false on a malformed UTF-8
  // sequence when checking_utf8_.
  bool skip_plain_characters();
  bool read_unicode_escape(std::string& out);
  bool read_hex4(std::uint32_t& code_unit);

  // Skipped values: syntax checking only, with the looser \u rule.
  bool skip_value();
  bool skip_string();
  bool skip_member_key();
  bool skip_literal(std::string_view word);

  char peek() const { return p_ != end_ ? *p_ : '\0'; }
  void skip_whitespace();

  const char* p_ = nullptr;
  const char* end_ = nullptr;
  LayerRetention retention_ = LayerRetention::kAll;
  bool checking_utf8_ = false;

  // Reused buffers: lists are collected here and then copied into vectors of
  // exactly their size, so the records carry no spare capacity.
  std::vector<Feature> features_scratch_;
  std::vector<Layer> layers_scratch_;
  std::vector<double> values_scratch_;
  Layer discarded_layer_;
  std::string decode_buffer_;
  std::vector<char> closers_;  // the open containers of a skipped value
};

}  // namespace ondravane
