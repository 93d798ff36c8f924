// The record grammar of one activation line: a JSON text holding one
// Activation, with each record in object or array form. It is written for
// these three records rather than building a document tree: values go
// straight into the records, unknown members are checked and skipped, and
// numbers are converted in place. The JSON text itself is read through a
// JsonCursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/json/cursor.h"
#include "converter/json/rejection.h"
#include "converter/line/layer_choice.h"
#include "converter/line/line_shape.h"
#include "converter/line/occurrence_place.h"
#include "converter/output/value_list_text.h"
#include "converter/records.h"

namespace ondravane {

class LineParser {
 public:
  // Parses one line of a file (terminator removed) into a record, or
  // returns nothing when the line is rejected; rejection() then says where
  // and why. The parser's buffers are reused from line to line, so one
  // parser should read a whole file.
  //
  // The line's encoding need not be checked first: the bytes of its strings
  // that are not ASCII must also form well-formed UTF-8, so an accepted line
  // is valid UTF-8 as a whole (everything outside strings that the grammar
  // accepts is ASCII). A rejected line may be malformed JSON or not UTF-8;
  // only a check of the whole line tells which. This saves the reader a
  // separate pass over every accepted line. With kUnchecked the strings'
  // bytes are taken as they are, for a line known to be valid UTF-8.
  enum class StringUtf8 { kChecked, kUnchecked };
  // With layers chosen by index, `retention` kChosen keeps those layers (the
  // first of each index chosen, in the line's order) and indices may be
  // negative; every other rule stays.
  std::optional<Activation> from_line(std::string_view line, LayerRetention retention,
                                      StringUtf8 strings = StringUtf8::kChecked,
                                      const LayerChoice& layers = kFirstLayer);

  // Walks `line` by the same rules as from_line, and so accepts
  // exactly the same lines, but stores only the line's shape: values are
  // checked, range included, and never converted or kept. With layers
  // chosen by index, the shape holds the length of each chosen layer.
  bool survey(std::string_view line, LineShape& shape, const LayerChoice& layers = kFirstLayer);

  // The first of two readings of a file: checks `line` exactly as
  // from_line does, keeping only its sentence number, the pieces the second
  // reading reads again of each occurrence (occurrence_place.h: the token
  // unless `keep_tokens`, then the layers of `layers`), their fingerprint,
  // and with `keep_tokens` the decoded token texts. Lines longer than 4 GiB
  // cannot be indexed.
  //
  // With `for_copy` (the walk of an input read once, whose copy holds the
  // pieces in another form and is fingerprinted as such), nothing is
  // fingerprinted, and when the layers are the first the first layer's
  // list is converted where it is checked, into indexed_values(): its
  // conversion is the check, by the same rules and with the same
  // rejections, so the copy need not walk the list a second time.
  bool index_unchecked_utf8(std::string_view line, bool keep_tokens,
                            const LayerChoice& layers = kFirstLayer, bool for_copy = false);
  std::uint32_t indexed_linex_index() const { return indexed_linex_index_; }
  std::size_t indexed_occurrences() const { return indexed_prints_.size(); }
  // indexed_pieces_per_occurrence() pieces an occurrence, in file order.
  std::size_t indexed_pieces_per_occurrence() const { return pieces_per_occurrence_; }
  const std::vector<PiecePlace>& indexed_pieces() const { return indexed_pieces_; }
  const std::vector<std::uint32_t>& indexed_fingerprints() const { return indexed_prints_; }
  std::string_view indexed_token(std::size_t i) const { return indexed_tokens_[i]; }
  // Of a walk for a copy: whether it converted the i-th occurrence's list,
  // and its values (none when it has no layer). A line converts lists
  // until it holds kMostConvertedValues values, and only checks the rest,
  // so that it never holds more values than a list's text and this many.
  static constexpr std::size_t kMostConvertedValues = std::size_t{1} << 17;
  bool indexed_values(std::size_t i, std::span<const double>& values) const {
    if (!convert_first_layer_ || indexed_value_ends_[i] == kNotConverted) return false;
    values = std::span<const double>(indexed_values_)
                 .subspan(indexed_value_starts_[i], indexed_value_ends_[i] - indexed_value_starts_[i]);
    return true;
  }

  // The second reading, in `text` (a line the first reading indexed, or a
  // piece of one): the token (decoded) whose quotation mark is at `offset`,
  // and the values of the list that starts at `offset`; `end` receives the
  // offset just past what was read. False when the text there is no longer
  // what was indexed.
  bool read_token(std::string_view text, std::uint32_t offset, std::string& token, std::size_t& end);
  bool read_values(std::string_view text, std::uint32_t offset, std::vector<double>& values,
                   std::size_t& end);
  // The same, with the values' text as the output writes it in `list_text`
  // (cleared first).
  bool read_values(std::string_view text, std::uint32_t offset, std::vector<double>& values,
                   ValueListText& list_text, std::size_t& end);
  // Why the last line was rejected. Meaningful only after a rejection.
  Rejection rejection() const { return cursor_.rejection(); }

 private:
  // The line structure around one record: whitespace on either side, and
  // nothing else.
  template <typename Record>
  bool walk_line(std::string_view line, bool check_utf8, Record&& record);
  bool parse_activation(Activation& activation);
  bool parse_feature(Feature& feature);
  bool parse_layer(Layer& layer);
  // A layer checked in full, range of its numbers included, but not stored:
  // its index (signed when layers are chosen by index), where its list of
  // values stands, and its length.
  struct SeenLayer {
    std::int64_t index = 0;
    std::size_t values_at = 0;
    std::size_t values_end = 0;
    std::size_t length = 0;
  };
  bool check_layer(SeenLayer& seen);
  // The same, its values converted onto indexed_values_.
  bool convert_layer(SeenLayer& seen);
  bool read_layer_index(std::int64_t& index);
  // A list of numbers checked, range included, and counted.
  bool check_values(std::size_t& length);
  // A layer of a record that keeps the chosen layers: kept when chosen and
  // the first of its index.
  bool keep_chosen_layer();
  bool parse_features(std::vector<Feature>& features);
  bool parse_layers(std::vector<Layer>& layers);
  bool parse_values(std::vector<double>& values);
  // A list of numbers, converted into `values` (cleared first), each also
  // handed to `seen(value, scan, start)` (JsonCursor::read_number).
  bool read_number_list(std::vector<double>& values);
  template <typename Seen>
  bool read_number_list(std::vector<double>& values, Seen&& seen);
  bool parse_token(std::string& token);
  bool read_token(std::string_view& text);
  bool survey_activation(LineShape& shape);
  bool survey_feature(OccurrenceShape& occurrence, std::vector<std::size_t>& chosen_lengths);
  bool index_feature();

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
  const LayerChoice* layers_ = &kFirstLayer;  // of the walk under way

  // The indexing walk's results, reused from line to line.
  bool keep_tokens_ = false;
  std::size_t pieces_per_occurrence_ = 0;
  std::uint32_t indexed_linex_index_ = 0;
  std::vector<PiecePlace> indexed_pieces_;
  std::vector<std::uint32_t> indexed_prints_;
  std::vector<std::string> indexed_tokens_;  // the first indexed_occurrences() are this line's
  bool for_copy_ = false;
  bool convert_first_layer_ = false;
  static constexpr std::size_t kNotConverted = SIZE_MAX;
  std::vector<double> indexed_values_;              // the converted occurrences', one after another
  std::vector<std::size_t> indexed_value_starts_;   // where each occurrence's begin
  std::vector<std::size_t> indexed_value_ends_;     // and end, or kNotConverted

  // Reused buffers: lists are collected here and then copied into vectors of
  // exactly their size, so the records carry no spare capacity.
  std::vector<Feature> features_scratch_;
  std::vector<Layer> layers_scratch_;
  std::vector<double> values_scratch_;
};

}  // namespace ondravane
